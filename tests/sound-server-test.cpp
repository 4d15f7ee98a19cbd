// The real executable heard through a real sound server: PulseAudio with a
// null sink, started by the test, recorded from the sink's monitor and compared
// with the music the demo embeds.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "child-process.h"
#include "music-match.h"
#include "sound-server.h"
#include "unavailable.h"

using namespace std::chrono_literals;

TEST(SoundServer, ThePulseAudioDriverPlaysTheMusicAtItsSpeed) {
    SoundServer pulse;
    if (!pulse.ok()) {
        SKIP_UNLESS_CI(pulse.failure());
    }
    std::string error;
    const StereoSamples music = loadWav(VIMBEL_SOURCE_DIR "/res/music.wav", error);
    ASSERT_FALSE(music.empty()) << error;

    ChildProcess recorder = pulse.record();
    // A larger server-side buffer than SDL asks for (two 1024-frame chunks):
    // on a busy test machine those run dry, and the gaps would be the
    // machine's, not the demo's.
    ChildProcess demo = startDemo(with(pulse.environment(), {{"SDL_VIDEODRIVER", "dummy"},
                                                             {"SDL_RENDER_DRIVER", "software"},
                                                             {"SDL_AUDIODRIVER", "pulseaudio"},
                                                             {"PULSE_LATENCY_MSEC", "100"}}));
    // Five seconds from the first sound on (start-up decodes the assets; a
    // sanitizer build on a busy machine is slow).
    constexpr size_t bytesPerSecond = 4 * 44100;
    const auto deadline = ChildProcess::Clock::now() + 90s;
    size_t firstSound = std::string::npos;
    size_t scanned = 0;
    while (ChildProcess::Clock::now() < deadline && !demo.exited() && !recorder.exited()) {
        const std::string& raw = recorder.output();
        for (; firstSound == std::string::npos && scanned + 1 < raw.size(); scanned += 2) {
            if (raw[scanned] != 0 || raw[scanned + 1] != 0) {
                firstSound = scanned;
            }
        }
        if (firstSound != std::string::npos && raw.size() >= firstSound + 5 * bytesPerSecond) {
            break;
        }
        std::this_thread::sleep_for(50ms);
    }
    recorder.stop();
    ASSERT_FALSE(demo.exited()) << demo.errorOutput();
    demo.signal(SIGTERM);
    std::string why;
    EXPECT_TRUE(demo.exitsWith0(15s, why)) << why << "\n" << demo.errorOutput();

    const MusicMatch match = matchLoopedMusic(music, fromS16le(recorder.output()));
    EXPECT_TRUE(match.holds(4)) << match.describe() << "recorded " << recorder.output().size()
                                << " bytes\n"
                                << recorder.errorOutput();
}
