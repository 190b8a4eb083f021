// Section files, placed at their statements.
#include "sections/section_files.h"

#include "resources/mesh.h"
#include "resources/texture.h"
#include "script/section.h"
#include "sections/demo.h"

int section_texture_load(Demo& demo, const Section& s, int i) {
    ErrorPlace place = section_at_string(s, i);
    return texture_load(s.strings[i].c_str(), demo.settings.texture_detail, &demo.pool);
}

void section_texture_check(const Section& s, int i) {
    ErrorPlace place = section_at_string(s, i);
    texture_check(s.strings[i].c_str());
}

Mesh* section_mesh_load(Demo& demo, const Section& s, int directory, int file) {
    ErrorPlace place = section_at_string(s, file);
    return demo_keep(demo, mesh_load(s.strings[directory].c_str(), s.strings[file].c_str(),
                                     demo.settings.texture_detail, &demo.pool));
}

void section_mesh_check(const Section& s, int directory, int file) {
    ErrorPlace place = section_at_string(s, file);
    mesh_read(s.strings[directory].c_str(), s.strings[file].c_str(), [](const char* path) {
        texture_check(path);
        return -1;
    });
}
