// Compares a recording with the looped music for scripts:
//   vimbel-music-match MUSIC.wav RECORDING.raw SECONDS
// RECORDING.raw is signed 16-bit little-endian stereo at 44100 Hz. Prints the
// place, speed and glitches found and the correlation of each second; exits 0
// if at least SECONDS seconds were recorded and they are the music at its
// speed with no more glitches than allowed (2 a minute, 2 in anything
// shorter), 1 if not, 2 on a usage or read error.

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "music-match.h"

int main(int argc, char** argv) {
    char* end = nullptr;
    const unsigned long seconds = argc == 4 ? std::strtoul(argv[3], &end, 10) : 0;
    if (argc != 4 || end == argv[3] || *end != '\0') {
        std::cerr << "usage: vimbel-music-match MUSIC.wav RECORDING.raw SECONDS\n";
        return 2;
    }
    std::string error;
    const StereoSamples music = loadWav(argv[1], error);
    std::ifstream in(argv[2], std::ios::binary);
    if (music.empty() || !in) {
        std::cerr << "vimbel-music-match: "
                  << (music.empty() ? error : "cannot read " + std::string(argv[2])) << "\n";
        return 2;
    }
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const MusicMatch match = matchLoopedMusic(music, fromS16le(raw));
    std::cout << match.describe();
    const std::string failure = match.failure(seconds);
    if (!failure.empty()) {
        std::cout << failure << "\n";
        return 1;
    }
    std::cout << "the music, at its speed, with " << match.glitches.size() << " glitch(es)\n";
    return 0;
}
