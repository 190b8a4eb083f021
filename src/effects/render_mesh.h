// efxRenderMesh: a feedback effect that redraws its own capture through a 20 x 20 grid of
// quads whose texture coordinates are bent by one of nine formulas.
#pragma once

#include <cstdint>

inline constexpr int RENDER_MESH_CELLS = 20;
inline constexpr int RENDER_MESH_POINTS = RENDER_MESH_CELLS + 1;

struct RenderMesh {
    double grid[RENDER_MESH_POINTS * RENDER_MESH_POINTS][2] = {};  // (s, t) of point (i, j) at 21 i + j
    int32_t mode = 0;
    int texture = -1;
    int32_t primed = 0;
};

// Recomputes every texture coordinate of the grid for `mode` at `elapsed` seconds into the
// section. Modes 0 to 8 distort, any other leaves the grid undistorted. A formula that gives
// no finite number at a point (a pole of tan or ln 0) leaves that coordinate undistorted.
void render_mesh_grid_update(RenderMesh& mesh, int mode, float elapsed);
