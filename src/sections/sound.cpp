// The "sound" section type: reads its music file whole at load time, starts it on the demo
// clock at the right millisecond and stops it at the section's end.
#include <cerrno>
#include <climits>
#include <memory>
#include <new>
#include <vector>

#include "base/error.h"
#include "resources/files.h"
#include "script/section.h"
#include "sections/demo.h"
#include "audio/audio_backend.h"
#include "audio/audio_decoder.h"
#include "audio/sound_system.h"

namespace {

struct SoundStream {
    SoundStream() = default;
    SoundStream(const SoundStream&) = delete;
    SoundStream& operator=(const SoundStream&) = delete;
    // The stream goes before the data it decodes from.
    ~SoundStream() { audio_stream_close(stream); }

    AudioStream* stream = nullptr;
    int32_t channel = -1;
    std::vector<unsigned char> data;  // the whole file; the stream decodes from it
};

[[noreturn]] void sound_fail(int code) {
    fatal_error("%s", sound_error_text(code));
}

// The whole music file into `data`.
void music_read(const char* path, std::vector<unsigned char>& data) {
    ZzipFile file(file_open(path));
    if (file == nullptr) fatal_error("File '%s' not found", path);
    bool whole = false;
    try {
        whole = file_read_all(file.get(), data);
    } catch (const std::bad_alloc&) {
        file.reset();
        sound_fail(AUDIO_ERR_MEMORY);
    }
    if (!whole) {
        const bool too_large = errno == EFBIG;
        file.reset();
        if (too_large) fatal_error("File '%s' is larger than %zu MB", path, FILE_READ_MAX >> 20);
        sound_fail(AUDIO_ERR_FILE_BAD);
    }
}

// The music is checked whether or not this run plays sound, and decoded as the back end would
// decode it, without a device.
void sound_section_check(const Section& s, const SectionTypes&, bool files) {
    if (s.string_count != 1) fatal_error("One string needed in sound");
    if (!files) return;
    ErrorPlace place = section_at_string(s, 0);
    std::vector<unsigned char> data;
    music_read(s.strings[0].c_str(), data);
    AudioDecoderPtr decoder;
    int code = decoder_open(data.data(), data.size(), SOUND_MIX_RATE, &decoder);
    if (code != AUDIO_OK) sound_fail(code);
}

void sound_section_init(Section& section, Frame& f) {
    if (!sound_started()) return;
    Section* s = &section;
    sound_section_check(*s, f.demo.types, false);
    SoundStream* stream = nullptr;
    try {
        stream = demo_record_new<SoundStream>(f.demo);
    } catch (const std::bad_alloc&) {
        sound_fail(AUDIO_ERR_MEMORY);
    }
    s->data = stream;
    ErrorPlace place = section_at_string(*s, 0);
    music_read(s->strings[0].c_str(), stream->data);
    stream->stream = audio_stream_open(stream->data.data(), stream->data.size());
    if (stream->stream == nullptr) sound_fail(audio_error());
}

void sound_section_start(Section& section, Frame&) {
    if (!sound_started()) return;
    Section* s = &section;
    auto* stream = static_cast<SoundStream*>(s->data);
    if (stream == nullptr || stream->stream == nullptr) return;
    if (s->elapsed > 0) {
        float ms = s->elapsed * 1000.0f;
        int64_t whole_ms = ms < static_cast<float>(INT64_MAX / 2) ? static_cast<int64_t>(ms) : INT64_MAX / 2;
        if (!audio_stream_set_time(stream->stream, whole_ms)) sound_fail(audio_error());
    }
    stream->channel = audio_stream_play(stream->stream);
    if (stream->channel < 0) sound_fail(audio_error());
}

void sound_section_stop(Section& s, Frame&) {
    if (!sound_started()) return;
    auto* stream = static_cast<SoundStream*>(s.data);
    if (stream != nullptr && stream->stream != nullptr) audio_stream_stop(stream->stream);
}

}  // namespace

extern const SectionType sound_type = {
    "sound",      section_noop,       sound_section_init, sound_section_start,
    section_noop, sound_section_stop, sound_section_check};
