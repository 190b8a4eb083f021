// The "macroBox" section type.
#include "sections/macro_box.h"

#include "script/section.h"

namespace {
constexpr float SKY_BOX_CORNERS[8][3] = {
    {10, -10, 10}, {10, -10, -10}, {-10, -10, -10}, {-10, -10, 10},
    {10, 10, 10},  {10, 10, -10},  {-10, 10, -10},  {-10, 10, 10},
};

// Corners of each face in drawing order: y = -10, y = 10, x = -10, x = 10, z = 10, z = -10.
constexpr int SKY_BOX_FACES[6][4] = {
    {2, 1, 0, 3}, {5, 6, 7, 4}, {6, 2, 3, 7}, {1, 5, 4, 0}, {0, 4, 7, 3}, {2, 6, 5, 1},
};

constexpr float SKY_BOX_S[4] = {1, 0, 0, 1};
constexpr float SKY_BOX_T[4] = {1, 1, 0, 0};
}  // namespace

void sky_box_fill(SkyBox& box, int texture) {
    for (int i = 0; i < 8; ++i) {
        box.corners[i] = {SKY_BOX_CORNERS[i][0], SKY_BOX_CORNERS[i][1], SKY_BOX_CORNERS[i][2]};
    }
    for (int f = 0; f < 6; ++f) {
        SkyBoxFace& face = box.faces[f];
        for (int k = 0; k < 4; ++k) {
            face.corners[k] = SKY_BOX_FACES[f][k];
            face.s[k] = SKY_BOX_S[k];
            face.t[k] = SKY_BOX_T[k];
        }
        face.texture = texture;
    }
}

float macro_box_layer_angle(int i, float elapsed) {
    return static_cast<float>(26 * i) + elapsed;
}

// Callbacks come with the type's implementation; until then every slot is the shared no-op.
extern const SectionType macro_box_type = {"macroBox",   section_noop, section_noop,
                                           section_noop, section_noop, section_noop};
