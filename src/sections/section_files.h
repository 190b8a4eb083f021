// The files a section names: loaded for play, or only opened and decoded for a check (no
// texture slot, no GL), with every error placed at the statement that names the file.
#pragma once

struct Demo;
struct Mesh;
struct Section;

// strings[i] as a picture: texture_load, or the same decoding and refusals without a texture.
int section_texture_load(Demo& demo, const Section& s, int i);
void section_texture_check(const Section& s, int i);

// The 3DS file strings[file] in the directory strings[directory], with its material pictures.
Mesh* section_mesh_load(Demo& demo, const Section& s, int directory, int file);
void section_mesh_check(const Section& s, int directory, int file);
