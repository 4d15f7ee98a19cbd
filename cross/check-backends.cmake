# Run after SDL installs for a Linux target (cmake -DSDL_CONFIG=FILE -P):
# SDL_CONFIG, the installed SDL_config.h, must name a library to load at run
# time for each backend below. SDL's build quietly links a backend instead
# when it finds the headers but not the library, or leaves it out when it
# finds neither; either way the executable would then fail to start, or lack
# the backend, on a host without it.
if(NOT EXISTS "${SDL_CONFIG}")
  message(FATAL_ERROR "check-backends: no ${SDL_CONFIG}")
endif()
file(READ "${SDL_CONFIG}" config)
set(loaded
  VIDEO_DRIVER_X11_DYNAMIC VIDEO_DRIVER_X11_DYNAMIC_XEXT VIDEO_DRIVER_X11_DYNAMIC_XCURSOR
  VIDEO_DRIVER_X11_DYNAMIC_XINPUT2 VIDEO_DRIVER_X11_DYNAMIC_XFIXES
  VIDEO_DRIVER_X11_DYNAMIC_XRANDR VIDEO_DRIVER_X11_DYNAMIC_XSS
  VIDEO_DRIVER_WAYLAND_DYNAMIC VIDEO_DRIVER_WAYLAND_DYNAMIC_EGL
  VIDEO_DRIVER_WAYLAND_DYNAMIC_CURSOR VIDEO_DRIVER_WAYLAND_DYNAMIC_XKBCOMMON
  VIDEO_DRIVER_WAYLAND_DYNAMIC_LIBDECOR
  AUDIO_DRIVER_PULSEAUDIO_DYNAMIC AUDIO_DRIVER_PIPEWIRE_DYNAMIC AUDIO_DRIVER_ALSA_DYNAMIC)
# Built in, needing no library at build time: the GL drivers are always
# loaded from the host.
set(built_in VIDEO_OPENGL_GLX VIDEO_OPENGL_EGL VIDEO_RENDER_OGL VIDEO_RENDER_OGL_ES2)
set(missing)
foreach(name IN LISTS loaded)
  if(NOT config MATCHES "#define SDL_${name} \"lib[^\"]+\\.so\\.[0-9]+\"")
    list(APPEND missing SDL_${name})
  endif()
endforeach()
foreach(name IN LISTS built_in)
  if(NOT config MATCHES "#define SDL_${name} 1")
    list(APPEND missing SDL_${name})
  endif()
endforeach()
if(missing)
  list(JOIN missing " " missing)
  message(FATAL_ERROR "check-backends: ${SDL_CONFIG} lacks ${missing}: SDL found no "
    "development files of these backends (tools/install-deps.sh linux installs them)")
endif()
message(STATUS "check-backends: every backend is loaded from the host at run time")
