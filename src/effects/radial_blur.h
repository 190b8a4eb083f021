// efxRadialBlur: feedback passes that add magnified copies of the frame to itself.
#pragma once

// Start and end values, copied from the params by init.
struct RadialBlur {
    float strength_start = 0, strength_end = 0;
    float step_start = 0, step_end = 0;
    float centre_x_start = 0, centre_x_end = 0;
    float centre_y_start = 0, centre_y_end = 0;
};

// Values of one frame at t = elapsed / duration (not clamped); cx2 and cy2 are twice the centre.
struct RadialBlurFrame {
    float alpha = 0;
    float step = 0;
    float cx2 = 0;
    float cy2 = 0;
};

// The part of the texture one pass lays over the whole frame.
struct RadialBlurWindow {
    float left = 0, bottom = 0, right = 1, top = 1;
};

// Passes per frame are not limited by the script, but a frame has to end: beyond this many
// copies the picture no longer changes visibly and the frame time would run away.
inline constexpr int RADIAL_BLUR_MAX_PASSES = 256;

// Reads the nine params (count already checked) into the record.
RadialBlur radial_blur_from_params(const float* params);
RadialBlurFrame radial_blur_frame(const RadialBlur& blur, float t);

// Passes i = 0, 1, ... run while i (as a float) is below `passes`, at most RADIAL_BLUR_MAX_PASSES.
int radial_blur_pass_count(float passes);
RadialBlurWindow radial_blur_window(int pass, const RadialBlurFrame& frame);
