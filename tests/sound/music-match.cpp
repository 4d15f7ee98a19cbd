#include "music-match.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <sstream>

namespace {

constexpr size_t stretchFrames = matchRate;
// The coarse search runs on mono averages of this many frames.
constexpr size_t decimation = 8;
// Below this level (about -40 dBFS) the recording counts as silent.
constexpr float silence = 0.01f;
// How far each second may sit from where the previous one predicts it: the
// mixer may drop a frame or two where the loop repeats, which no listener
// hears, while any gap or speed error moves the music by far more.
constexpr long drift = 8;
// The shortest run of zero frames that counts as a dropout.
constexpr size_t dropoutFrames = 64;

// Normalised correlation of `frames` stereo frames of the recording from
// `start` with the looped music from `offset`.
double correlation(const StereoSamples& music, const StereoSamples& recording, size_t start,
                   size_t offset, size_t frames) {
    const size_t loop = music.size() / 2;
    double both = 0;
    double recorded = 0;
    double played = 0;
    for (size_t i = 0; i < frames; ++i) {
        const size_t m = 2 * ((offset + i) % loop);
        const size_t r = 2 * (start + i);
        for (size_t c = 0; c < 2; ++c) {
            both += double{recording[r + c]} * music[m + c];
            recorded += double{recording[r + c]} * recording[r + c];
            played += double{music[m + c]} * music[m + c];
        }
    }
    return recorded > 0 && played > 0 ? both / std::sqrt(recorded * played) : 0.0;
}

// Mono averages of `decimation` frames each, from frame `start` on.
std::vector<float> decimate(const StereoSamples& samples, size_t start, size_t frames) {
    std::vector<float> out(frames / decimation);
    for (size_t i = 0; i < out.size(); ++i) {
        float sum = 0;
        for (size_t j = 0; j < 2 * decimation; ++j) {
            sum += samples[2 * (start + i * decimation) + j];
        }
        out[i] = sum / (2 * decimation);
    }
    return out;
}

// The loop frame where the stretch from `start` fits best.
long placeStretch(const StereoSamples& music, const StereoSamples& recording, size_t start) {
    const size_t loop = music.size() / 2;
    const std::vector<float> played = decimate(music, 0, loop);
    const std::vector<float> recorded = decimate(recording, start, stretchFrames);
    const size_t n = played.size();
    // The loop repeated far enough for a stretch to start anywhere in it.
    std::vector<float> looped(n + recorded.size());
    for (size_t i = 0; i < looped.size(); ++i) {
        looped[i] = played[i % n];
    }
    double bestScore = -2;
    size_t best = 0;
    for (size_t candidate = 0; candidate < n; ++candidate) {
        const float* m = looped.data() + candidate;
        double both = 0;
        double energy = 0;
        for (size_t i = 0; i < recorded.size(); ++i) {
            both += double{recorded[i]} * m[i];
            energy += double{m[i]} * m[i];
        }
        const double score = energy > 0 ? both / std::sqrt(energy) : 0;
        if (score > bestScore) {
            bestScore = score;
            best = candidate;
        }
    }
    // To the frame, at the full rate around the coarse place.
    const long coarse = static_cast<long>(best * decimation);
    const long span = static_cast<long>(2 * decimation);
    bestScore = -2;
    long offset = 0;
    for (long candidate = coarse - span; candidate <= coarse + span; ++candidate) {
        const long wrapped = (candidate % static_cast<long>(loop) + static_cast<long>(loop)) %
                             static_cast<long>(loop);
        const double score =
            correlation(music, recording, start, static_cast<size_t>(wrapped), stretchFrames);
        if (score > bestScore) {
            bestScore = score;
            offset = wrapped;
        }
    }
    return offset;
}

}  // namespace

StereoSamples loadWav(const std::string& path, std::string& error) {
    SDL_AudioSpec spec{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(path.c_str(), &spec, &data, &length)) {
        error = path + ": " + SDL_GetError();
        return {};
    }
    SDL_AudioCVT cvt{};
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_F32SYS, 2, matchRate) <
        0) {
        error = path + ": " + SDL_GetError();
        SDL_FreeWAV(data);
        return {};
    }
    std::vector<Uint8> buffer(static_cast<size_t>(length) * static_cast<size_t>(cvt.len_mult));
    std::memcpy(buffer.data(), data, length);
    SDL_FreeWAV(data);
    cvt.buf = buffer.data();
    cvt.len = static_cast<int>(length);
    if (SDL_ConvertAudio(&cvt) < 0) {
        error = path + ": " + SDL_GetError();
        return {};
    }
    StereoSamples samples(static_cast<size_t>(cvt.len_cvt) / sizeof(float));
    std::memcpy(samples.data(), buffer.data(), samples.size() * sizeof(float));
    samples.resize(samples.size() / 2 * 2);
    return samples;
}

StereoSamples fromS16le(const std::string& bytes) {
    StereoSamples samples(bytes.size() / 4 * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto low = static_cast<uint8_t>(bytes[2 * i]);
        const auto high = static_cast<uint8_t>(bytes[2 * i + 1]);
        samples[i] = static_cast<int16_t>(low | high << 8) / 32768.0f;
    }
    return samples;
}

bool MusicMatch::holds(size_t stretches) const {
    return offset >= 0 && correlations.size() >= stretches &&
           std::all_of(correlations.begin(), correlations.end(),
                       [](double c) { return c > matchThreshold; });
}

std::string MusicMatch::describe() const {
    std::ostringstream text;
    if (offset < 0) {
        return "no second of sound to compare\n";
    }
    text << "starts at frame " << offset << " of the loop";
    if (dropouts > 0) {
        text << ", " << dropouts << " dropout(s) in the recording";
    }
    text << "\n";
    for (size_t i = 0; i < correlations.size(); ++i) {
        text << "second " << i + 1 << ": correlation " << correlations[i] << "\n";
    }
    return text.str();
}

MusicMatch matchLoopedMusic(const StereoSamples& music, const StereoSamples& recording) {
    MusicMatch match;
    const size_t frames = recording.size() / 2;
    const size_t loop = music.size() / 2;
    size_t start = 0;
    while (start < frames && std::abs(recording[2 * start]) < silence &&
           std::abs(recording[2 * start + 1]) < silence) {
        ++start;
    }
    if (loop < stretchFrames || frames < start + stretchFrames) {
        return match;
    }
    size_t silent = 0;
    for (size_t i = start; i < frames; ++i) {
        silent = recording[2 * i] == 0 && recording[2 * i + 1] == 0 ? silent + 1 : 0;
        match.dropouts += silent == dropoutFrames ? 1 : 0;
    }
    match.offset = placeStretch(music, recording, start);
    long expected = match.offset;
    for (size_t at = start; at + stretchFrames <= frames; at += stretchFrames) {
        double best = -1;
        long found = expected;
        for (long shift = -drift; shift <= drift; ++shift) {
            const long candidate =
                ((expected + shift) % static_cast<long>(loop) + static_cast<long>(loop)) %
                static_cast<long>(loop);
            const double score =
                correlation(music, recording, at, static_cast<size_t>(candidate), stretchFrames);
            if (score > best) {
                best = score;
                found = candidate;
            }
        }
        match.correlations.push_back(best);
        expected = (found + static_cast<long>(stretchFrames)) % static_cast<long>(loop);
    }
    return match;
}
