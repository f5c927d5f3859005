#pragma once
// "tallowcam audio ADDRESS": records the camera's microphone into a WAV file
// (--listen SECONDS --out FILE.wav) or plays a WAV file on the camera's
// loudspeaker (--say FILE.wav), both G.711 mu-law at 8000 Hz.
#include <CLI/CLI.hpp>

namespace tallowcam_host {

void AddAudioCommand(CLI::App& app);

}  // namespace tallowcam_host
