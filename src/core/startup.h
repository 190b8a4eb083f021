// Start-up and shutdown of the whole system.
#pragma once

// The checks of the settings the scripts assigned, placed at the assignments: the recording
// rate and the sizes of the window and of the frame. No window is needed.
void demo_settings_check();

// Brings up video, sound (when `sound` is set), the clock, the sections (load phase) and the
// font, then synchronises the clock; the scripts must have been read.
void demo_init();

// Tears the running demo down while the window, the GL context and the sound device stay:
// its sections and their records, cameras, meshes, splines, music streams and every texture
// from `keep_textures` on (the ones made before the demo, such as the frame targets, stay).
void demo_unload(int keep_textures);

// Closes sound (when `sound` is set), the video subsystem, shows the benchmark box when asked,
// and quits SDL. Safe to call in any state, more than once, and before anything was started.
void demo_shutdown();
