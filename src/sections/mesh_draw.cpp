// The six mesh drawers shared by the object and objectMatrix sections.
#include "sections/mesh_draw.h"

#include <GL/gl.h>

#include "resources/mesh.h"
#include "resources/texture.h"

namespace {

// Calls face(object, face) for the faces the built fraction shows, inside one primitive.
template <typename FaceFn>
void draw_faces(const Mesh& mesh, float f, FaceFn&& face) {
    glBegin(GL_TRIANGLES);
    for (const MeshObject& o : mesh.objects) {
        int shown = mesh_built_faces(f, o.face_count);
        for (int i = 0; i < shown; ++i) face(o, o.faces[i]);
    }
    glEnd();
}

// Sends a material when it differs from the last one sent in this draw. The colours are
// widened to the four components GL reads, alpha 1.
void send_material(const Material* m, const Material*& last) {
    if (m == nullptr || m == last) return;
    const float* colours[3] = {m->ambient, m->diffuse, m->specular};
    const GLenum names[3] = {GL_AMBIENT, GL_DIFFUSE, GL_SPECULAR};
    for (int i = 0; i < 3; ++i) {
        const float rgba[4] = {colours[i][0], colours[i][1], colours[i][2], 1.0f};
        glMaterialfv(GL_FRONT_AND_BACK, names[i], rgba);
    }
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m->shininess);
    last = m;
}

void sphere_vertices(const Mesh& mesh, float f) {
    draw_faces(mesh, f, [](const MeshObject& o, const MeshFace& face) {
        for (uint16_t c : face.corners) {
            glNormal3fv(o.vertices[c].normal);
            glVertex3fv(o.vertices[c].position);
        }
    });
}

}  // namespace

void mesh_draw_plain(const Mesh& mesh, float f) {
    draw_faces(mesh, f, [](const MeshObject& o, const MeshFace& face) {
        for (uint16_t c : face.corners) glVertex3fv(o.vertices[c].position);
    });
}

void mesh_draw_flat(const Mesh& mesh, float f) {
    const Material* last = nullptr;
    draw_faces(mesh, f, [&last](const MeshObject& o, const MeshFace& face) {
        send_material(face.material, last);
        glNormal3fv(face.normal);
        for (uint16_t c : face.corners) glVertex3fv(o.vertices[c].position);
    });
}

void mesh_draw_smooth(const Mesh& mesh, float f) {
    const Material* last = nullptr;
    draw_faces(mesh, f, [&last](const MeshObject& o, const MeshFace& face) {
        send_material(face.material, last);
        for (uint16_t c : face.corners) {
            glNormal3fv(o.vertices[c].normal);
            glVertex3fv(o.vertices[c].position);
        }
    });
}

void mesh_draw_textured(const Mesh& mesh, float f) {
    static const float no_texcoord[2] = {0, 0};
    bool texturing = true;
    int bound = -1;
    draw_faces(mesh, f, [&](const MeshObject& o, const MeshFace& face) {
        // Texture state can only change outside a primitive.
        if (face.material == nullptr) {
            if (texturing) {
                glEnd();
                glDisable(GL_TEXTURE_2D);
                glBegin(GL_TRIANGLES);
                texturing = false;
            }
        } else if (face.material->texture >= 0 && (!texturing || face.material->texture != bound)) {
            glEnd();
            if (!texturing) glEnable(GL_TEXTURE_2D);
            texture_bind(face.material->texture);
            glBegin(GL_TRIANGLES);
            texturing = true;
            bound = face.material->texture;
        }
        for (uint16_t c : face.corners) {
            // Objects may carry fewer texture coordinates than vertices.
            glTexCoord2fv(c < o.texcoord_count ? &o.texcoords[size_t{c} * 2] : no_texcoord);
            glVertex3fv(o.vertices[c].position);
        }
    });
    if (!texturing) glEnable(GL_TEXTURE_2D);
}

void mesh_draw_sphere_s(const Mesh& mesh, float f) {
    glEnable(GL_TEXTURE_GEN_S);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    sphere_vertices(mesh, f);
    glDisable(GL_TEXTURE_GEN_S);
}

void mesh_draw_sphere_st(const Mesh& mesh, float f) {
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
    sphere_vertices(mesh, f);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
}
