// Decoders for the sound sections, each positioned where its section meets the span, read
// one after the other as the span is walked.
#include "inspect/music_mix.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "audio/audio_decoder.h"
#include "base/error.h"
#include "runtime/registry.h"
#include "runtime/sequencer.h"
#include "resources/files.h"
#include "script/section.h"

namespace {

// One sound section's music where it plays within the span: output frames [first, last) of
// the span come from its decoder, positioned at the matching point of the file.
struct MusicSource {
    std::vector<unsigned char> data;  // the whole file, which the decoder reads from
    AudioDecoderPtr decoder;
    long first = 0;
    long last = 0;
};

}  // namespace

struct MusicMix {
    std::vector<std::unique_ptr<MusicSource>> sources;
    long at = 0;  // the next frame of the span
    std::vector<float> part;
};

void MusicMixDeleter::operator()(MusicMix* mix) const {
    delete mix;
}

MusicMixPtr music_mix_open(const Demo& demo, double start, long frames, int rate, const char* purpose) {
    MusicMixPtr mix(new MusicMix);
    double end = start + static_cast<double>(frames) / rate;
    for (Section* s = demo.sections.head; s != nullptr; s = s->next) {
        if (s->type != SECTION_TYPE_SOUND || !section_keep(demo, s)) continue;
        if (s->string_count != 1) fatal_error("One string needed in sound");
        double from = std::max<double>(s->start, start);
        double to = std::min<double>(s->end, end);
        if (to <= from) continue;
        const char* path = s->strings[0].c_str();
        auto source = std::make_unique<MusicSource>();
        {
            ZzipFile file(file_open(path));
            if (file == nullptr) fatal_error("File '%s' not found", path);
            if (!file_read_all(file.get(), source->data)) {
                if (errno == EFBIG) fatal_error("File '%s' is larger than %zu MB", path, FILE_READ_MAX >> 20);
                fatal_error("Cannot read '%s'", path);
            }
        }
        if (decoder_open(source->data.data(), source->data.size(), rate, &source->decoder) != 0)
            fatal_error("Cannot decode the music '%s'%s", path, purpose);
        decoder_seek_ms(*source->decoder, static_cast<int64_t>(std::llround((from - s->start) * 1000.0)));
        source->first = std::lround((from - start) * rate);
        source->last = std::min(frames, source->first + std::lround((to - from) * rate));
        mix->sources.push_back(std::move(source));
    }
    if (mix->sources.empty()) return nullptr;
    return mix;
}

void music_mix_read(MusicMix& mix, float* out, long count) {
    std::fill(out, out + count * 2, 0.0f);
    for (auto& source : mix.sources) {
        long from = std::max(mix.at, source->first);
        long to = std::min(mix.at + count, source->last);
        if (to <= from) continue;
        mix.part.resize(static_cast<size_t>(to - from) * 2);
        long got = decoder_read(*source->decoder, mix.part.data(), to - from);
        for (long i = 0; i < got * 2; ++i) out[(from - mix.at) * 2 + i] += mix.part[static_cast<size_t>(i)];
    }
    mix.at += count;
}

bool music_mix_done(const MusicMix& mix) {
    return std::all_of(mix.sources.begin(), mix.sources.end(), [&](const auto& source) {
        return mix.at >= source->last || decoder_ended(*source->decoder);
    });
}
