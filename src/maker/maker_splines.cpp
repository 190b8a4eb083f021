// Live spline edits: the text of each spline file, the edit written back before it is answered,
// the sections' splines changed in place, the history, and the curves served to the page.
#include "maker/maker_splines.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "base/io.h"
#include "maker/maker_files.h"
#include "maker/maker_folder.h"
#include "resources/files.h"
#include "resources/spline.h"
#include "script/section.h"
#include "sections/demo.h"

namespace {

// A file's name as the demo's sections and the commands both come to it: "./data/a.spl" and
// "data/./a.spl" are "data/a.spl".
std::string file_key(const std::string& name) {
    return std::filesystem::path(name).lexically_normal().string();
}

// The plain file's bytes, at most what the player reads of a spline.
bool read_plain(const std::string& name, std::string& out) {
    out.clear();
    return path_read_all(name.c_str(), out, FILE_TEXT_MAX);
}

// The section's spline as the file's keys now are, spread over the seconds the load gave it.
void hand_to(Spline& spline, const SplineText& text) {
    const float duration = spline.duration;
    spline_from_text(text, spline);
    spline_set_duration(&spline, duration);
}

// A float as JSON in its shortest text, which reads back as the same float.
nlohmann::json number(float value) {
    if (!std::isfinite(value)) return nullptr;
    return std::stod(spline_number_text(value));
}

}  // namespace

std::vector<std::string> spline_channel_names(const std::string& type, int index, int spline_count,
                                              int channels) {
    static const std::vector<std::string> transform = {"scale x",       "scale y",       "scale z",
                                                       "rotation x",    "rotation y",    "rotation z",
                                                       "translation x", "translation y", "translation z"};
    static const std::vector<std::string> colour = {"red", "green", "blue", "alpha"};
    static const std::vector<std::string> camera = {"eye x",      "eye y",         "eye z",    "rotation x",
                                                    "rotation y", "rotation z",    "target x", "target y",
                                                    "target z",   "field of view", "near",     "far"};
    const std::vector<std::string>* known = nullptr;
    if (type == "camera" && spline_count == 1) known = &camera;
    if (type == "object" || (type == "image" && index == 0) ||
        ((type == "imageMatrix" || type == "objectMatrix") && index < 2))
        known = &transform;
    if (type == "imageMatrix" && index == 2) known = &colour;
    std::vector<std::string> names;
    for (int c = 0; c < channels; ++c)
        names.push_back(known != nullptr && c < static_cast<int>(known->size())
                            ? (*known)[static_cast<size_t>(c)]
                            : "channel " + std::to_string(c));
    return names;
}

void SplineEdits::collect(Demo& demo) {
    files_.clear();
    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        for (int i = 0; i < s->spline_count; ++i) {
            if (s->splines[i] == nullptr) continue;
            const std::string name = file_key(s->spline_names[i]);
            auto [it, fresh] = files_.try_emplace(name);
            File& file = it->second;
            file.uses.push_back({s, i, demo.types[s->type]->name});
            if (!fresh) continue;
            file.archive = archive_holding(name);
            std::string bytes;
            file.read = file.archive.empty() && read_plain(name, bytes) &&
                        spline_text_parse(bytes, file.text).empty();
        }
    }
}

SplineEdits::File* SplineEdits::find(const std::string& name, std::string& why) {
    auto it = files_.find(file_key(name));
    if (it == files_.end()) {
        why = "no section of the demo uses the spline file '" + name + "'";
        return nullptr;
    }
    if (!it->second.archive.empty()) {
        why = name + " is inside " + it->second.archive + ": unpack it to edit";
        return nullptr;
    }
    return &it->second;
}

bool SplineEdits::unchanged_on_disk(const std::string& name, File& file, std::string& why) {
    std::string bytes;
    const bool readable = read_plain(name, bytes);
    if (file.read && readable && bytes == file.text.bytes) return true;
    why = name + " changed on disk since the player read it: read again, nothing edited";
    SplineText next;
    const std::string malformed = readable ? spline_text_parse(bytes, next) : "cannot be read";
    file.read = malformed.empty() && next.channels == file.text.channels;
    if (!file.read) {
        // The sections keep the keys they have; the reload the change brings judges the file.
        why += " (" + (malformed.empty() ? "its channels changed" : malformed) + ")";
        return false;
    }
    file.text = std::move(next);
    for (const Use& use : file.uses) hand_to(*use.section->splines[use.index], file.text);
    return false;
}

std::string SplineEdits::write(const std::string& name, File& file, SplineText next, FolderWatch& folder) {
    const std::vector<uint8_t> bytes(next.bytes.begin(), next.bytes.end());
    const std::string refused = folder.edit(name, bytes);
    if (!refused.empty()) return refused;
    file.text = std::move(next);
    for (const Use& use : file.uses) hand_to(*use.section->splines[use.index], file.text);
    return "";
}

std::string SplineEdits::apply(const MakerCommand& c, FolderWatch& folder, std::string& changed) {
    changed.clear();
    if (c.kind == MakerCommandKind::Undo || c.kind == MakerCommandKind::Redo)
        return undo_or_redo(c.kind == MakerCommandKind::Undo, folder, changed);
    std::string why;
    File* file = find(c.file, why);
    if (file == nullptr) return "error " + why;
    const std::string name = file_key(c.file);
    if (!unchanged_on_disk(name, *file, why)) {
        if (file->read) changed = name;
        return "error " + why;
    }
    SplineText next = file->text;
    switch (c.kind) {
        case MakerCommandKind::KeySet:
            why = spline_text_set(next, c.key, c.channel, c.value);
            for (size_t i = 0; why.empty() && i < c.also.size(); ++i)
                why = spline_text_set(next, c.key, c.also[i].first, c.also[i].second);
            break;
        case MakerCommandKind::KeyInsert:
            why = spline_text_insert(next, c.key);
            break;
        case MakerCommandKind::KeyDelete:
            why = spline_text_delete(next, c.key);
            break;
        case MakerCommandKind::KeyBias: {
            const int to = c.key_to < 0 ? static_cast<int>(next.keys.size()) - 1 : c.key_to;
            why = spline_text_bias(next, c.channel, c.value, c.key, to);
            break;
        }
        default:
            why = "not a spline edit";
            break;
    }
    if (!why.empty()) return "error " + why;
    if (next.bytes == file->text.bytes) return "ok";  // the value it had: nothing to write or undo
    SplineEdit edit{name, file->text.bytes, next.bytes};
    why = write(name, *file, std::move(next), folder);
    if (!why.empty()) return "error " + why;
    history_.push(std::move(edit));
    changed = name;
    return "ok";
}

std::string SplineEdits::undo_or_redo(bool undo, FolderWatch& folder, std::string& changed) {
    const SplineEdit* edit = undo ? history_.undo() : history_.redo();
    if (edit == nullptr) return undo ? "error nothing to undo" : "error nothing to redo";
    // Refused, the edit goes back where it was in the history.
    auto refuse = [&](const std::string& why) {
        if (undo)
            history_.redo();
        else
            history_.undo();
        return "error " + why;
    };
    std::string why;
    const std::string name = edit->file;
    const std::string& from = undo ? edit->after : edit->before;
    const std::string& to = undo ? edit->before : edit->after;
    File* file = find(name, why);
    if (file == nullptr) return refuse(why);
    if (!unchanged_on_disk(name, *file, why)) {
        if (file->read) changed = name;
        return refuse(why);
    }
    if (file->text.bytes != from) return refuse(name + " changed since that edit: the history stops there");
    SplineText next;
    why = spline_text_parse(to, next);
    if (why.empty()) why = write(name, *file, std::move(next), folder);
    if (!why.empty()) return refuse(why);
    changed = name;
    return "ok";
}

std::string SplineEdits::json() const {
    nlohmann::json files = nlohmann::json::array();
    for (const auto& [name, file] : files_) {
        const Spline& loaded = *file.uses.front().section->splines[file.uses.front().index];
        nlohmann::json keys = nlohmann::json::array();
        for (int k = 0; k < loaded.key_count; ++k) {
            nlohmann::json key = nlohmann::json::array();
            for (int c = 0; c < loaded.channels; ++c) key.push_back(number(loaded.keys[k].values[c]));
            keys.push_back(std::move(key));
        }
        nlohmann::json uses = nlohmann::json::array();
        for (const Use& use : file.uses) {
            const Section& s = *use.section;
            const Spline& spline = *s.splines[use.index];
            nlohmann::json samples = nullptr;
            if (static_cast<size_t>(spline.key_count) <= SPLINE_SAMPLED_KEYS_MAX) {
                samples = nlohmann::json::array();
                const int count =
                    spline.key_count > 1 ? (spline.key_count - 1) * SPLINE_SAMPLES_PER_KEY + 1 : 1;
                for (int j = 0; j < count; ++j) {
                    const float t =
                        count > 1 ? spline.duration * static_cast<float>(j) / static_cast<float>(count - 1)
                                  : 0;
                    float out[SPLINE_MAX_CHANNELS] = {};
                    spline_eval(&spline, out, t);
                    nlohmann::json sample = nlohmann::json::array({number(t)});
                    for (int c = 0; c < spline.channels; ++c) sample.push_back(number(out[c]));
                    samples.push_back(std::move(sample));
                }
            }
            const std::string& type = use.type;
            uses.push_back({{"type", type},
                            {"script", s.script},
                            {"line", s.line},
                            {"spline_line", s.spline_lines[use.index]},
                            {"index", use.index},
                            {"start", number(s.start)},
                            {"seconds", number(spline.duration)},
                            {"names", spline_channel_names(type, use.index, s.spline_count, spline.channels)},
                            {"samples", std::move(samples)}});
        }
        files.push_back(
            {{"file", name},
             {"channels", loaded.channels},
             {"keys", std::move(keys)},
             {"editable", file.archive.empty() && file.read},
             {"archive", file.archive.empty() ? nlohmann::json(nullptr) : nlohmann::json(file.archive)},
             {"uses", std::move(uses)}});
    }
    return nlohmann::json{{"files", std::move(files)}}.dump();
}
