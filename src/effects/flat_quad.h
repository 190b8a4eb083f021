// The untextured quad over the whole frame that the fader and the inversion draw.
#pragma once

#include <GL/gl.h>

// Draws the unit square in `colour` with the blend factors given, depth test and texturing off,
// and leaves blending off and the depth test and texturing on, the steady state of a frame.
// The colour stays current.
void flat_quad_draw(GLenum src, GLenum dst, const float colour[4]);
