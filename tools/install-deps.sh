#!/usr/bin/env bash
# Installs the Debian packages needed to build, run and test the demo, and to
# encode the capture tool's videos (ffmpeg), and nothing when they are all
# present already. Groups named as arguments add what the Windows, the
# browser and the release builds need.
set -euo pipefail

packages=(
    cmake make g++ pkg-config
    libsdl2-dev libsdl2-image-dev libsdl2-ttf-dev libsdl2-mixer-dev libsdl2-gfx-dev zlib1g-dev
    libgtest-dev libbenchmark-dev
    # The capture tool's command line and its video files
    libcli11-dev ffmpeg
    # The display tests and the memory script: an X server with a window
    # manager, a Wayland compositor, X tools to find, drive and read back the
    # window, and Mesa's software OpenGL/EGL drivers.
    xvfb openbox x11-utils xdotool imagemagick weston
    libgl1-mesa-dri libglx-mesa0 libegl-mesa0
    # The sound tests: a PulseAudio server with a null sink, and its recorder
    pulseaudio pulseaudio-utils
    # make release, make deb and their tests
    git binutils file dpkg-dev lintian desktop-file-utils man-db
    # The capture tool's manual page, made from its --help
    help2man
)

# Development files of the libraries that SDL loads from the host at run time
# (X11 with its extensions, Wayland with libdecor, EGL, OpenGL and GLES, the
# sound servers, D-Bus and udev): the release executables are built against
# their headers and link none of them.
backend_headers=(libx11-dev libxext-dev libxcursor-dev libxi-dev libxfixes-dev libxrandr-dev
    libxrender-dev libxss-dev libwayland-dev libxkbcommon-dev libdecor-0-dev libegl-dev
    libgl-dev libgles-dev libpulse-dev libpipewire-0.3-dev libasound2-dev libdbus-1-dev
    libudev-dev)
foreign_arch=""

# Other targets, on request: tools/install-deps.sh windows web linux
for group in "$@"; do
    case "$group" in
        windows)
            # The mingw-w64 cross compilers (posix threads) with their zlib,
            # Wine to run the result, zip to pack it; for its tests unzip,
            # icoutils to take the icon out of the executable and xmllint
            # to read its manifest.
            packages+=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
                binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64 zip
                unzip icoutils libxml2-utils)
            ;;
        web)
            # emscripten for WebAssembly; the three browser engines the
            # tests and the benchmark drive: Chromium, Firefox ESR and
            # WebKitGTK's MiniBrowser with its WebDriver; Node.js for them,
            # with npm for their lock file (some Node.js packages bring it,
            # Debian's comes apart). Firefox and WebKit need a display (Xvfb)
            # and, to play sound at all, a sound server: PulseAudio with a null
            # sink, recorded by pulseaudio-utils' parec to hear the music.
            # zip packs the site for static hosts.
            packages+=(emscripten chromium firefox-esr webkit2gtk-driver nodejs
                xvfb pulseaudio pulseaudio-utils zip)
            if ! command -v npm >/dev/null; then
                packages+=(npm)
            fi
            ;;
        linux)
            # The release executables for x86-64 and ARM64 Linux: the SDL
            # backends' headers for both (the ARM64 ones from Debian's arm64
            # architecture, added to dpkg for them, with the libraries the
            # executable finds there under qemu), Debian's aarch64 cross
            # compilers and qemu-user to run the result; for the tests
            # bubblewrap, which hides a library from a run.
            packages+=("${backend_headers[@]}" "${backend_headers[@]/%/:arm64}"
                crossbuild-essential-arm64 qemu-user-static bubblewrap)
            foreign_arch=arm64
            ;;
        *)
            echo "install-deps: unknown group $group (known: windows web linux)" >&2
            exit 2
            ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
if [ -n "$foreign_arch" ] && ! dpkg --print-foreign-architectures | grep -qx "$foreign_arch"; then
    echo "Adding the $foreign_arch architecture to dpkg"
    "${sudo[@]}" dpkg --add-architecture "$foreign_arch"
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
