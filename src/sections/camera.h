// The camera section's callbacks and the spline channel layout it reads.
#pragma once

struct Frame;
struct Section;

struct Camera;

// Position x, y, z; rotation x, y, z in degrees; target x, y, z; field of view; near; far.
inline constexpr int CAMERA_CHANNELS = 12;

// Sets a camera from twelve channel values; the aspect is always the display's.
void camera_from_channels(Camera* camera, const float* ch);

void camera_section_init(Section& s, Frame& f);
void camera_section_render(Section& s, Frame& f);
