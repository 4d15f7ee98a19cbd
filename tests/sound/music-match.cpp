#include "music-match.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iomanip>
#include <memory>
#include <sstream>

namespace {

constexpr long second = matchRate;
// How far the speed may be off, as a share of the right one.
constexpr double speedTolerance = 0.005;
// Below this level (about -40 dBFS) the recording counts as silent.
constexpr float silence = 0.01f;
// How far a second may sit from where its neighbour predicts it before the
// whole loop is searched.
constexpr long reach = matchRate / 10;
// Steps of the place up to this many frames are no glitch: the mixer may drop
// a frame or two where the loop repeats, which no listener hears, while an
// underrun moves the music by a chunk of 1024 frames or more.
constexpr double steady = 16;
// The shortest run of zero frames that counts as a dropout.
constexpr long dropoutFrames = 64;
// Where the music steps between two seconds is found to this many frames.
constexpr long block = 1024;

long wrap(long frame, long loop) {
    return (frame % loop + loop) % loop;
}

// Mono averages of `factor` frames each.
std::vector<float> decimate(const StereoSamples& samples, long factor) {
    const auto n = static_cast<size_t>(factor);
    std::vector<float> out(samples.size() / 2 / n);
    for (size_t i = 0; i < out.size(); ++i) {
        float sum = 0;
        for (size_t j = 0; j < 2 * n; ++j) {
            sum += samples[2 * n * i + j];
        }
        out[i] = sum / static_cast<float>(2 * n);
    }
    return out;
}

// The music and the recording as mono averages of `factor` frames, the music
// repeated far enough for a stretch, even fast, to start anywhere in the loop.
struct Level {
    long factor;
    std::vector<float> music;
    std::vector<float> recording;
    long loop = static_cast<long>(music.size());

    Level(const StereoSamples& played, const StereoSamples& recorded, long by)
        : factor(by), music(decimate(played, by)), recording(decimate(recorded, by)) {
        music.resize(3 * music.size());
        for (auto i = static_cast<size_t>(loop); i < music.size(); ++i) {
            music[i] = music[i - static_cast<size_t>(loop)];
        }
    }

    // The frame within `within` of `centre` (to `factor` frames) where the
    // `frames` from `at` correlate best with the music.
    long search(long at, long frames, long centre, long within, double speed) const {
        const long count = frames / factor;
        std::vector<long> steps(static_cast<size_t>(count));
        for (long j = 0; j < count; ++j) {
            steps[static_cast<size_t>(j)] = std::lround(static_cast<double>(j) * speed);
        }
        const long middle = centre / factor;
        const long span = std::min(within / factor, loop / 2);
        double bestScore = -2;
        long best = middle;
        for (long k = -span; k <= span; ++k) {
            const float* m = music.data() + wrap(middle + k, loop);
            const float* r = recording.data() + at / factor;
            double both = 0;
            double energy = 0;
            for (long j = 0; j < count; ++j) {
                const float played = r[j] == 0 ? 0.0f : m[steps[static_cast<size_t>(j)]];
                both += double{r[j]} * played;
                energy += double{played} * played;
            }
            const double score = energy > 0 ? both / std::sqrt(energy) : 0;
            if (score > bestScore) {
                bestScore = score;
                best = middle + k;
            }
        }
        return best * factor + centre % factor;
    }
};

struct Placed {
    // The loop frame (not wrapped) heard at the start of the stretch.
    double place = 0;
    double correlation = -1;
};

struct Matcher {
    static constexpr long fineFactor = 8;
    static constexpr long coarseFactor = 32;
    const StereoSamples& music;
    const StereoSamples& recording;
    long loop = static_cast<long>(music.size() / 2);
    Level fine{music, recording, fineFactor};
    Level coarse{music, recording, coarseFactor};

    // Normalised correlation of `frames` recording frames from `at` with the
    // music from loop frame `place` on, played at `speed`. Frames of exact
    // digital silence, where the stream ran dry, are left out: they are
    // counted as gaps, and the music around them is judged on its own.
    double correlation(long at, long frames, double place, double speed) const {
        const double floor = std::floor(place);
        const long base = wrap(static_cast<long>(floor), loop);
        const double from = place - floor;
        double both = 0;
        double recorded = 0;
        double played = 0;
        for (long i = 0; i < frames; ++i) {
            const double position = from + static_cast<double>(i) * speed;
            const double whole = std::floor(position);
            const double fraction = position - whole;
            long m = base + static_cast<long>(whole);
            m -= m >= loop ? loop : 0;
            const long n = m + 1 == loop ? 0 : m + 1;
            const float* a = &music[static_cast<size_t>(2 * m)];
            const float* b = &music[static_cast<size_t>(2 * n)];
            const float* r = &recording[static_cast<size_t>(2 * (at + i))];
            if (r[0] == 0 && r[1] == 0) {
                continue;
            }
            for (size_t c = 0; c < 2; ++c) {
                const double value = a[c] * (1 - fraction) + b[c] * fraction;
                both += r[c] * value;
                recorded += double{r[c]} * r[c];
                played += value * value;
            }
        }
        return recorded > 0 && played > 0 ? both / std::sqrt(recorded * played) : 0.0;
    }

    // The place of the `frames` from `at` within `within` frames of
    // `predicted` (on mono averages of 32 frames if it may be far, of 8 frames
    // near there, then to the frame), or anywhere in the loop if it is not the
    // music there; the loop frame nearest the prediction.
    Placed align(long at, long frames, double predicted, long within, double speed) const {
        long centre = std::lround(predicted);
        long near = within;
        if (near > 8 * coarseFactor) {
            centre = coarse.search(at, frames, centre, near, speed);
            near = 2 * coarseFactor;
        }
        centre = fine.search(at, frames, centre, near, speed);
        Placed placed;
        const auto tryAt = [&](long frame) {
            const double score = correlation(at, frames, static_cast<double>(frame), speed);
            if (score > placed.correlation) {
                placed = {static_cast<double>(frame), score};
            }
        };
        for (long frame = centre - 2 * fineFactor; frame <= centre + 2 * fineFactor; frame += 2) {
            tryAt(frame);
        }
        const auto best = static_cast<long>(placed.place);
        tryAt(best - 1);
        tryAt(best + 1);
        if (placed.correlation < matchThreshold && within < loop) {
            const Placed found = align(at, frames, predicted, loop, speed);
            placed = found.correlation > placed.correlation ? found : placed;
        }
        const double loops = std::round((placed.place - predicted) / static_cast<double>(loop));
        placed.place -= loops * static_cast<double>(loop);
        return placed;
    }

    // Stretches of `frames` from `start` on, `count` of them: the first that
    // is the music (of the first few) placed anywhere, the others each
    // followed from its neighbour.
    std::vector<Placed> track(long start, long frames, size_t count, double speed) const {
        std::vector<Placed> placed(count);
        const auto at = [&](size_t k) { return start + static_cast<long>(k) * frames; };
        size_t first = 0;
        for (size_t k = 0; k < std::min<size_t>(count, 4); ++k) {
            placed[k] = align(at(k), frames, 0, loop, speed);
            if (placed[k].correlation > placed[first].correlation) {
                first = k;
            }
            if (placed[k].correlation > matchThreshold) {
                break;
            }
        }
        const double ahead = static_cast<double>(frames) * speed;
        for (size_t k = first + 1; k < count; ++k) {
            placed[k] = align(at(k), frames, placed[k - 1].place + ahead, reach, speed);
        }
        for (size_t k = first; k-- > 0;) {
            placed[k] = align(at(k), frames, placed[k + 1].place - ahead, reach, speed);
        }
        return placed;
    }
};

// The median step between neighbouring places `apart` frames apart, beyond
// what `speed` moves them.
double medianStep(const std::vector<Placed>& placed, long apart, double speed) {
    std::vector<double> steps;
    for (size_t k = 1; k < placed.size(); ++k) {
        steps.push_back(placed[k].place - placed[k - 1].place - static_cast<double>(apart) * speed);
    }
    std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
    return steps[steps.size() / 2];
}

}  // namespace

StereoSamples loadWav(const std::string& path, std::string& error) {
    const auto failed = [&] {
        error = path + ": " + SDL_GetError();
        return StereoSamples{};
    };
    SDL_AudioSpec spec{};
    Uint8* data = nullptr;
    Uint32 length = 0;
    if (!SDL_LoadWAV(path.c_str(), &spec, &data, &length)) {
        return failed();
    }
    const std::unique_ptr<Uint8, decltype(&SDL_FreeWAV)> owned(data, SDL_FreeWAV);
    SDL_AudioCVT cvt{};
    if (SDL_BuildAudioCVT(&cvt, spec.format, spec.channels, spec.freq, AUDIO_F32SYS, 2, matchRate) <
        0) {
        return failed();
    }
    std::vector<Uint8> buffer(static_cast<size_t>(length) * static_cast<size_t>(cvt.len_mult));
    std::memcpy(buffer.data(), data, length);
    cvt.buf = buffer.data();
    cvt.len = static_cast<int>(length);
    if (SDL_ConvertAudio(&cvt) < 0) {
        return failed();
    }
    StereoSamples samples(static_cast<size_t>(cvt.len_cvt) / sizeof(float) / 2 * 2);
    std::memcpy(samples.data(), buffer.data(), samples.size() * sizeof(float));
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

std::string MusicMatch::failure(size_t seconds) const {
    std::ostringstream text;
    // Glitches allowed per minute of recording, or part of one: 2 in anything
    // up to a minute (a five-second recording may hold two underruns).
    const size_t allowed = 2 * std::max<size_t>(1, (correlations.size() + 59) / 60);
    if (offset < 0) {
        text << "no second of sound to compare";
    } else if (correlations.size() < seconds) {
        text << "only " << correlations.size() << " s recorded, " << seconds << " s needed";
    } else if (!music) {
        text << "not the music";
    } else if (std::abs(speed - 1) > speedTolerance) {
        text << "the music, but at " << std::fixed << std::setprecision(2) << 100 * speed
             << " % of its speed";
    } else if (glitches.size() > allowed) {
        text << "the music, but " << glitches.size() << " glitches in " << correlations.size()
             << " s (at most " << allowed << ")";
    }
    return text.str();
}

std::string MusicMatch::describe() const {
    static const char* const kinds[] = {"skip", "repeat", "gap", "noise"};
    if (offset < 0) {
        return "no second of sound to compare\n";
    }
    std::ostringstream text;
    text << (music ? "the music" : "not the music") << ", from frame " << offset
         << " of the loop, speed " << std::fixed << std::setprecision(3) << 100 * speed << " %, "
         << glitches.size() << " glitch(es), " << dropouts << " dropout(s)\n";
    for (const Glitch& glitch : glitches) {
        text << std::setprecision(2) << kinds[static_cast<int>(glitch.kind)] << " of "
             << std::abs(glitch.frames) << " frames at " << glitch.time << " s\n";
    }
    for (size_t i = 0; i < correlations.size(); ++i) {
        text << std::setprecision(3) << "second " << i + 1 << ": correlation " << correlations[i]
             << "\n";
    }
    return text.str();
}

MusicMatch matchLoopedMusic(const StereoSamples& music, const StereoSamples& recording) {
    MusicMatch match;
    const auto frames = static_cast<long>(recording.size() / 2);
    const auto zero = [&](long i) { return recording[2 * i] == 0 && recording[2 * i + 1] == 0; };
    long start = 0;
    while (start < frames && std::abs(recording[2 * start]) < silence &&
           std::abs(recording[2 * start + 1]) < silence) {
        ++start;
    }
    if (music.size() / 2 < static_cast<size_t>(2 * second) || frames < start + second) {
        return match;
    }
    // Runs of zero frames: where each starts, and how long it is.
    std::vector<std::pair<long, long>> zeros;
    for (long i = start; i < frames; ++i) {
        long run = 0;
        while (i + run < frames && zero(i + run)) {
            ++run;
        }
        if (run >= dropoutFrames) {
            zeros.emplace_back(i, run);
        }
        i += run;
    }
    match.dropouts = zeros.size();

    // Quarter seconds, little smeared by a wrong speed, are followed near
    // each other at the right speed first: the median step between them
    // gives the speed to follow whole seconds at, and the median step between
    // whole seconds corrects it, to the frame.
    const Matcher matcher{music, recording};
    constexpr long quarter = second / 4;
    const auto quarters = static_cast<size_t>((frames - start) / quarter);
    if (quarters > 1) {
        match.speed = 1 + medianStep(matcher.track(start, quarter, quarters, 1.0), quarter, 1.0) /
                              static_cast<double>(quarter);
    }
    const auto seconds = static_cast<size_t>((frames - start) / second);
    std::vector<Placed> placed = matcher.track(start, second, seconds, match.speed);
    for (int round = 0; round < 2 && seconds > 1; ++round) {
        const double step = medianStep(placed, second, match.speed);
        if (std::abs(step) <= 1 || std::abs(step) > static_cast<double>(reach)) {
            break;
        }
        match.speed += step / static_cast<double>(second);
        placed = matcher.track(start, second, seconds, match.speed);
    }
    // A stream with long gaps may mislead the estimate: the right speed is
    // kept where more seconds are the music at it.
    const auto matched = [](const std::vector<Placed>& places) {
        return std::count_if(places.begin(), places.end(),
                             [](const Placed& p) { return p.correlation > matchThreshold; });
    };
    if (match.speed != 1.0) {
        std::vector<Placed> right = matcher.track(start, second, seconds, 1.0);
        if (matched(right) > matched(placed)) {
            placed = std::move(right);
            match.speed = 1.0;
        }
    }
    std::vector<size_t> good;
    for (size_t k = 0; k < seconds; ++k) {
        match.correlations.push_back(placed[k].correlation);
        if (placed[k].correlation > matchThreshold) {
            good.push_back(k);
        }
    }
    match.offset = wrap(std::lround(placed[0].place), matcher.loop);
    match.music = !good.empty() && 2 * good.size() >= seconds;

    // Between two seconds that are the music, the places either follow the
    // speed (the drift there refines it) or step where the stream glitched:
    // where the later place starts to fit better than the earlier one, to a
    // block.
    const auto at = [&](size_t k) { return start + static_cast<long>(k) * second; };
    const auto fit = [&](size_t k, long from) {
        const double place = placed[k].place + static_cast<double>(from - at(k)) * match.speed;
        return matcher.correlation(from, block, place, match.speed);
    };
    std::vector<bool> explained(seconds, false);
    double drift = 0;
    long driftFrames = 0;
    for (size_t i = 1; i < good.size(); ++i) {
        const size_t g = good[i - 1];
        const size_t h = good[i];
        const auto apart = static_cast<long>(h - g) * second;
        const double step =
            placed[h].place - placed[g].place - static_cast<double>(apart) * match.speed;
        if (std::abs(step) <= steady) {
            drift += step;
            driftFrames += apart;
            continue;
        }
        std::fill(explained.begin() + static_cast<long>(g),
                  explained.begin() + static_cast<long>(h), true);
        auto split = static_cast<size_t>((apart + second) / block);
        double best = 0;
        double sum = 0;
        for (size_t b = split; b-- > 0;) {
            const long from = at(g) + static_cast<long>(b) * block;
            sum += fit(h, from) - fit(g, from);
            if (sum > best) {
                best = sum;
                split = b;
            }
        }
        const long frame = at(g) + static_cast<long>(split) * block;
        match.glitches.push_back({step > 0 ? Glitch::Kind::skip : Glitch::Kind::repeat,
                                  static_cast<double>(frame) / second, std::lround(step)});
    }
    if (driftFrames > 0) {
        match.speed += drift / static_cast<double>(driftFrames);
    }
    // A step where the recording holds zeros is the player running dry.
    for (const auto& [from, length] : zeros) {
        const double time = static_cast<double>(from) / second;
        auto stepped = std::find_if(match.glitches.begin(), match.glitches.end(), [&](auto& g) {
            return g.kind != Glitch::Kind::gap && std::abs(g.time - time) < 1.0;
        });
        if (stepped == match.glitches.end()) {
            stepped = match.glitches.insert(match.glitches.end(), Glitch{});
        }
        *stepped = {Glitch::Kind::gap, time, length};
        for (size_t k = 0; k < seconds; ++k) {
            explained[k] = explained[k] || (from < at(k) + second && from + length > at(k));
        }
    }
    // Runs of seconds that are not the music, with the music going on
    // around them as before.
    for (size_t k = 0; match.music && k < seconds; ++k) {
        if (placed[k].correlation <= matchThreshold && !explained[k] &&
            (k == 0 || placed[k - 1].correlation > matchThreshold || explained[k - 1])) {
            match.glitches.push_back(
                {Glitch::Kind::noise, static_cast<double>(at(k)) / second, second});
        }
    }
    std::sort(match.glitches.begin(), match.glitches.end(),
              [](const Glitch& a, const Glitch& b) { return a.time < b.time; });
    return match;
}
