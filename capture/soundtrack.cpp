#include "soundtrack.h"

#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include "bindata.h"
#include "fatal.h"

namespace {

struct StreamDeleter {
    void operator()(SDL_AudioStream* stream) const { SDL_FreeAudioStream(stream); }
};

void putLittleEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

}  // namespace

std::vector<int16_t> decodeMusicLoop() {
    auto bytes = Asset("res/music.wav");
    if (!bytes.ok()) {
        fatal(*bytes.error, "cannot read the music");
    }
    SDL_RWops* rwops = SDL_RWFromConstMem(bytes.value.data(), static_cast<int>(bytes.value.size()));
    if (!rwops) {
        fatalSdl("cannot read the music");
    }
    SDL_AudioSpec spec{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV_RW(rwops, 1, &spec, &buffer, &length)) {
        fatalSdl("cannot decode the music");
    }
    std::unique_ptr<Uint8, decltype(&SDL_FreeWAV)> wav(buffer, &SDL_FreeWAV);

    // One pass through a conversion stream, flushed at the end, gives every
    // sample of the loop in the device's format.
    std::unique_ptr<SDL_AudioStream, StreamDeleter> stream(SDL_NewAudioStream(
        spec.format, spec.channels, spec.freq, AUDIO_S16SYS, soundtrackChannels, soundtrackRate));
    if (!stream || SDL_AudioStreamPut(stream.get(), wav.get(), static_cast<int>(length)) < 0 ||
        SDL_AudioStreamFlush(stream.get()) < 0) {
        fatalSdl("cannot convert the music");
    }
    const int available = SDL_AudioStreamAvailable(stream.get());
    std::vector<int16_t> samples(static_cast<size_t>(available) / sizeof(int16_t));
    const int got = SDL_AudioStreamGet(stream.get(), samples.data(), available);
    if (got < 0) {
        fatalSdl("cannot convert the music");
    }
    const size_t frameSamples = soundtrackChannels;
    samples.resize(static_cast<size_t>(got) / sizeof(int16_t) / frameSamples * frameSamples);
    if (samples.empty()) {
        fatal("the music has no samples", "cannot decode the music");
    }
    return samples;
}

LoopedSound::LoopedSound(std::vector<int16_t> loop) : loop_(std::move(loop)) {
    if (loop_.empty()) {
        fatal("the loop has no samples", "cannot repeat the music");
    }
}

void LoopedSound::next(int64_t frames, std::vector<int16_t>& out) {
    auto wanted = static_cast<size_t>(frames) * soundtrackChannels;
    while (wanted > 0) {
        const size_t take = std::min(wanted, loop_.size() - position_);
        out.insert(out.end(), loop_.begin() + static_cast<long>(position_),
                   loop_.begin() + static_cast<long>(position_ + take));
        position_ = (position_ + take) % loop_.size();
        wanted -= take;
    }
}

std::vector<int16_t> makeSoundtrack(const std::vector<int16_t>& loop, int64_t frames) {
    std::vector<int16_t> samples;
    samples.reserve(static_cast<size_t>(frames) * soundtrackChannels);
    LoopedSound(loop).next(frames, samples);
    return samples;
}

std::string writeWav(const std::string& path, const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * sizeof(int16_t));
    constexpr uint32_t blockAlign = soundtrackChannels * sizeof(int16_t);
    std::vector<uint8_t> header;
    header.insert(header.end(), {'R', 'I', 'F', 'F'});
    putLittleEndian(header, 36 + dataBytes, 4);
    header.insert(header.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLittleEndian(header, 16, 4);  // the size of the format block
    putLittleEndian(header, 1, 2);   // PCM
    putLittleEndian(header, soundtrackChannels, 2);
    putLittleEndian(header, soundtrackRate, 4);
    putLittleEndian(header, soundtrackRate * blockAlign, 4);
    putLittleEndian(header, blockAlign, 2);
    putLittleEndian(header, 16, 2);  // bits per sample
    header.insert(header.end(), {'d', 'a', 't', 'a'});
    putLittleEndian(header, dataBytes, 4);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        return std::strerror(errno);
    }
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    // The samples are written as they are held: this is a little-endian format
    // and SDL gave us the host's order.
    static_assert(SDL_BYTEORDER == SDL_LIL_ENDIAN, "the WAV writer assumes a little-endian host");
    ok = ok && std::fwrite(samples.data(), sizeof(int16_t), samples.size(), file) == samples.size();
    const int savedErrno = errno;
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        return std::strerror(savedErrno != 0 ? savedErrno : errno);
    }
    return {};
}
