// Compares a recording with the looped music for scripts:
//   vimbel-music-match MUSIC.wav RECORDING.raw SECONDS
// RECORDING.raw is signed 16-bit little-endian stereo at 44100 Hz. Prints the
// correlation of each second and exits 0 if at least SECONDS seconds were
// recorded and every one of them is the music; 3 if not but the recording
// has dropouts (the player ran dry: worth recording again), 1 if not
// otherwise, 2 on a usage or read error.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "music-match.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: vimbel-music-match MUSIC.wav RECORDING.raw SECONDS\n";
        return 2;
    }
    std::string error;
    const StereoSamples music = loadWav(argv[1], error);
    if (music.empty()) {
        std::cerr << "vimbel-music-match: " << error << "\n";
        return 2;
    }
    std::ifstream in(argv[2], std::ios::binary);
    if (!in) {
        std::cerr << "vimbel-music-match: cannot read " << argv[2] << "\n";
        return 2;
    }
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const MusicMatch match = matchLoopedMusic(music, fromS16le(raw));
    std::cout << match.describe();
    const bool holds = match.holds(std::strtoul(argv[3], nullptr, 10));
    std::cout << (holds ? "the music, at its speed\n" : "not the music\n");
    return holds ? 0 : match.dropouts > 0 ? 3 : 1;
}
