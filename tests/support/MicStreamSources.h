// For the microphone tests that play real streams (they link the test media sources): fast links over the
// synthetic camera and the tone microphone.
#pragma once

#include "CameraSource.h"
#include "Microphone.h"
#include "SyntheticCamera.h"
#include "Tesmar.h"
#include "ZqModConfig.h"

namespace mic_test {

// Links that retry after 500 ms and time out after 3 s (in the process's configuration), publishing the
// synthetic camera and the tone microphone.
inline void UseFastLinksAndSyntheticSources() {
    IConfigManager* cfg = AfxGetConfigManager();
    cfg->SetInt("RoomLink", "RTMPInitIntervalUnit", 500);
    cfg->SetInt("RoomConfigMic", "MicListenTimeout", 3);
    cfg->SetInt("RoomConfigMic", "MicListenRecvTimeout", 3);
    cfg->SetInt("RoomConfigMic", "MicListenBufferTM", 1);
    capture::SelectSyntheticCamera(1);
    TesmarFactories tone;
    tone.microphone = [] { return publish::CreateToneMicrophone(); };
    TesmarSetFactories(tone);
}

}  // namespace mic_test
