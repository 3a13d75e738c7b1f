// Minimal WAV files for nrtx-host: reads 16-bit PCM and 32-bit float, writes 32-bit float.
#pragma once

#include <string>

#include "nrtx-standins/NrtxHost.h"

bool readWave(const std::string& path, nrtx_host::Audio* audio, int* rate);
bool writeWave(const std::string& path, const nrtx_host::Audio& audio, int rate);
