// The two plug-in descriptors: one reverb, as a mono and a stereo plug-in.
// Both share the instance operations and differ only in their run operation.
// Used by the GUI too, which runs the plug-in it belongs to for its preview.
#pragma once

#include <cstdint>

#include <lv2/core/lv2.h>

#define HALVANE_URI_PREFIX "https://halvane.example.org"
#define HALVANE_MONO_URI HALVANE_URI_PREFIX "/lv2/halvane/mono"
#define HALVANE_STEREO_URI HALVANE_URI_PREFIX "/lv2/halvane/stereo"

// Host rates either plug-in accepts, in Hz: outside this range (or for a
// rate that is not finite) instantiate returns null. The GUI takes a host's
// rate option only inside it.
constexpr double MIN_SAMPLE_RATE = 1000.0;
constexpr double MAX_SAMPLE_RATE = 768000.0;

// Constant records, valid for the life of the process.
extern const LV2_Descriptor mono_descriptor;
extern const LV2_Descriptor stereo_descriptor;

// The plug-ins offer no extension interfaces: null for every URI. Any thread.
const void* reverb_extension_data(const char* uri);

// Index 0: mono_descriptor; 1: stereo_descriptor; anything else: null.
// Any thread; the records are never written.
const LV2_Descriptor* reverb_descriptor_for_index(uint32_t index);
