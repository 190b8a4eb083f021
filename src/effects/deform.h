// efxDeform: the frame redrawn as a textured Bezier sheet whose control points splines move.
#pragma once

#include <cstdint>
#include <vector>

struct Spline;

struct DeformGrid {
    uint8_t order = 0;   // n, control points per side
    uint8_t mesh_u = 0;  // mesh steps along u (screen y)
    uint8_t mesh_v = 0;  // mesh steps along v (screen x)
    uint16_t mode = 0;   // glEvalMesh2 mode
    // n x n points of (x, y, z); column i, row j at index n i + j.
    std::vector<float> rest;
    std::vector<float> current;
};

// Channels a deform spline needs: column, row and the three offsets.
inline constexpr int DEFORM_SPLINE_CHANNELS = 5;

// Fatal unless there are three params, n is 2 to max_order (at most 255) and both mesh step
// counts are 1 to 255.
void deform_check_params(int param_count, const float* params, int max_order);

// Fatal when a spline (if loaded) has fewer than five channels.
void deform_check_spline(const Spline* spline, const char* name);

// Fills order and mesh counts from checked params and lays the n x n grid flat over a
// width x height screen: point (i, j) rests at (i (width div (n - 1)), j (height div (n - 1)), 0).
void deform_grid_init(DeformGrid& grid, const float* params, int width, int height, uint16_t mode);

// The grid index a spline's first two channels name, truncated toward zero, or -1 when they
// name no point of the grid.
int deform_point_index(const DeformGrid& grid, float column, float row);

// Moves the point named by values[0], values[1] to its rest position plus values[2..4];
// values that name no point are ignored. Returns whether a point moved.
bool deform_grid_move(DeformGrid& grid, const float* values);
