// The maker's panels, drawn in GL over whatever the frame shows.
#include "maker/maker_panel.h"

#include <GL/gl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gfx/window.h"
#include "gfx/font_draw.h"
#include "gfx/ortho.h"
#include "inspect/beats.h"
#include "maker/maker_commands.h"
#include "resources/font.h"
#include "runtime/overlay.h"

namespace {

void draw_panel(const std::vector<std::string>& lines, float top, float size, bool error, bool font_loaded) {
    glViewport(0, 0, window_settings().gl_width, window_settings().gl_height);
    ortho_begin();
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    float bottom = top + size * (static_cast<float>(lines.size()) + 0.5f);
    if (error) {
        glColor4f(0.35f, 0, 0, font_loaded ? 0.8f : 1.0f);
    } else {
        glColor4f(0, 0, 0, 0.7f);
    }
    // Pixel rows from the top, as the font counts them, in the unit square's upward y.
    const float y0 = 1.0f - top / static_cast<float>(window_settings().gl_height);
    const float y1 = 1.0f - bottom / static_cast<float>(window_settings().gl_height);
    glBegin(GL_QUADS);
    glVertex2f(0, y0);
    glVertex2f(0, y1);
    glVertex2f(1, y1);
    glVertex2f(1, y0);
    glEnd();
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    ortho_end();
    if (!font_loaded) return;
    Font font = system_font;
    font.size = size;
    font.x = size * 0.5f;
    for (size_t i = 0; i < lines.size(); ++i) {
        font.y = top + size * (0.25f + static_cast<float>(i));
        font_print(font, "%s", lines[i].c_str());
    }
}

}  // namespace

void panel_draw_overlays(const Playback& play, bool font_loaded) {
    glDisable(GL_DEPTH_TEST);
    if (font_loaded && play.demo != nullptr && play.demo->settings.fps != 0) {
        overlay_fps(*play.demo);
    } else if (font_loaded && play.demo != nullptr && play.demo->settings.timing != 0) {
        overlay_timing(*play.demo);
    }
    float size = static_cast<float>(std::clamp(window_settings().gl_height / 32, 12, 32));
    size_t columns = static_cast<size_t>(static_cast<float>(window_settings().gl_width) / size) - 1;
    if (play.broken) {
        std::vector<std::string> lines = maker_wrap(play.error, columns);
        lines.insert(lines.begin(), "Error (fix the file: the demo reloads by itself)");
        draw_panel(lines, 0, size, true, font_loaded);
    }
    bool paused = play.still();
    std::string status = maker_status_text(play.now(), paused, play.loop_on(), play.loop_from, play.loop_to,
                                           tempo_of(play.settings()));
    draw_panel({status}, static_cast<float>(window_settings().gl_height) - size * 1.5f, size, false,
               font_loaded);
    glEnable(GL_DEPTH_TEST);
}
