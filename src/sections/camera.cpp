// The "camera" section type: sets the projection and modelview for the sections drawn after it
// in the frame, from a twelve-channel spline or, without exactly one spline, the free camera.
#include "sections/camera.h"

#include "gfx/window.h"
#include "base/error.h"
#include "gfx/free_camera.h"
#include "sections/demo.h"
#include "resources/spline.h"
#include "script/section.h"
#include "sections/transform.h"

void camera_from_channels(Camera* camera, const float* ch) {
    camera_set_position(camera, ch[0], ch[1], ch[2]);
    camera_set_rotation(camera, ch[3], ch[4], ch[5]);
    camera_set_target(camera, ch[6], ch[7], ch[8]);
    camera_set_fov(camera, ch[9], window_settings().display_aspect);
    camera_set_clip(camera, ch[10], ch[11]);
}

void camera_section_check(const Section& s, const SectionTypes&, bool) {
    if (s.param_count != 0) fatal_error("camera: no floats needed");
    if (s.string_count != 0) fatal_error("camera: no strings needed");
    // Only a single spline drives the camera; a shorter one would leave the view half set.
    if (s.spline_count == 1) spline_require_channels(s, "camera", 0, CAMERA_CHANNELS);
}

void camera_section_init(Section& s, Frame& f) {
    camera_section_check(s, f.demo.types, false);
    Camera* camera = demo_record_new<Camera>(f.demo);
    camera_set_target(camera, 0, 0, -100);
    camera_set_position(camera, 0, 0, 5);
    camera_set_fov(camera, 90, window_settings().display_aspect);
    camera_set_clip(camera, 0.1f, 500);
    s.data = camera;
}

void camera_section_render(Section& s, Frame& f) {
    Camera* camera = static_cast<Camera*>(s.data);
    f.camera = camera;
    if (s.spline_count == 1) {
        float ch[SPLINE_MAX_CHANNELS] = {};
        spline_channels(s, s.elapsed, 0, ch);
        camera_from_channels(camera, ch);
    } else {
        free_camera_update(camera, f.demo.free_flight, f.delta, f.demo.settings.debug != 0);
    }
    perspective_set(camera);
    camera_apply(camera);
    debug_axes(f.demo.settings.debug != 0);
}

extern const SectionType camera_type = {
    "camera",     section_noop,        camera_section_init, section_noop, camera_section_render,
    section_noop, camera_section_check};
