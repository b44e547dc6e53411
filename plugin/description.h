#pragma once

// What the plug-in calls itself (LibDescription), and what the native braidel-run, which renders
// with the plug-in's rebuild core, names as its renderer.
#define BRAIDEL_PLUGIN_DESCRIPTION "Stereo Braidel Filter Plugin. (orv)"
