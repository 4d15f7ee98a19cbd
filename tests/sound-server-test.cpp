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
    NEEDS(pulse.ok(), pulse.failure());
    std::string error;
    const StereoSamples music = loadWav(VIMBEL_SOURCE_DIR "/res/music.wav", error);
    ASSERT_FALSE(music.empty()) << error;

    ChildProcess recorder = pulse.record();
    // A larger server-side buffer (300 ms) than SDL asks for (two 1024-frame
    // chunks): on a busy test machine those run dry, and the gaps would be
    // the machine's, not the demo's.
    ChildProcess demo = startDemo(with(pulse.environment(), {{"SDL_VIDEODRIVER", "dummy"},
                                                             {"SDL_RENDER_DRIVER", "software"},
                                                             {"SDL_AUDIODRIVER", "pulseaudio"},
                                                             {"PULSE_LATENCY_MSEC", "300"}}));
    // Five seconds from three seconds after the first sound on (start-up
    // decodes the assets; a sanitizer build on a busy machine is slow). A
    // window that fails with dropouts in it, where the server filled in
    // silence for a starved player, is followed by the next few.
    constexpr size_t bytesPerSecond = 4 * 44100;
    constexpr size_t settle = 3 * bytesPerSecond;
    constexpr size_t judged = 5 * bytesPerSecond;
    constexpr int maxWindows = 4;
    size_t window = std::string::npos;
    int windows = 0;
    MusicMatch match;
    while (ChildProcess::Clock::now() < pulse.deadline() && !demo.exited() && !recorder.exited()) {
        const std::string& raw = recorder.output();
        if (window == std::string::npos && raw.find_first_not_of('\0') != std::string::npos) {
            window = raw.find_first_not_of('\0') / 4 * 4 + settle;
        }
        if (window != std::string::npos && raw.size() >= window + judged) {
            match = matchLoopedMusic(music, fromS16le(raw.substr(window, judged)));
            if (match.holds(4) || match.dropouts == 0 || ++windows == maxWindows) {
                break;
            }
            window += judged;
        }
        std::this_thread::sleep_for(50ms);
    }
    recorder.stop();
    ASSERT_FALSE(demo.exited()) << demo.errorOutput();
    demo.signal(SIGTERM);
    expectCleanExit(demo, "SIGTERM");

    ASSERT_NE(window, std::string::npos)
        << "nothing was heard within " << SoundServer::testLimit.count() << " s\n"
        << recorder.errorOutput();
    EXPECT_TRUE(match.holds(4)) << match.describe() << "in window " << windows + 1 << "\n"
                                << recorder.errorOutput();
}
