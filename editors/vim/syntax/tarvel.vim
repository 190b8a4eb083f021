" Vim syntax file for Tarvel demo scripts (*.tvl): section headers, settings, section keys,
" numbers, blend and alpha names, and ';' comments.
if exists("b:current_syntax")
  finish
endif

syntax case match

" A comment takes a line of its own; a ';' after a value is part of the value.
syntax match tarvelComment /^;.*$/

syntax match tarvelHeader /^\[[^\]]*\]/ contains=tarvelType
syntax keyword tarvelType contained background camera efxBlackWhite efxColor efxDeform efxFader efxInverse efxRadialBlur efxRenderMesh efxRepeat image imageMatrix loading macroBox object objectMatrix particleMatrix particleTex pathway ray sound

" Settings at the top of a script, and the keys of a section.
syntax match tarvelSetting /^\%(demo_name\|fps\|timing\|debug\|record\|record_fps\|compress_tga\|loop\|sound\|bench\|demo_start\|demo_end\|gl_fullscreen\|gl_panoramic\|gl_info\|gl_extensions\|gl_width\|gl_height\|gl_bpp\|gl_zbuffer\|gl_stencil\|gl_rttWidth\|gl_rttHeight\|texture_detail\|bpm\|beats_per_bar\)\>/
syntax match tarvelKey /^\%(start\|end\|layer\|sync\|param\|spline\|string\|blend\|alpha\)\>/

syntax match tarvelNumber /\<-\?\d\+\%(\.\d*\)\?\>/
syntax keyword tarvelConstant ZERO ONE SRC_COLOR ONE_MINUS_SRC_COLOR DST_COLOR ONE_MINUS_DST_COLOR
syntax keyword tarvelConstant SRC_ALPHA ONE_MINUS_SRC_ALPHA DST_ALPHA ONE_MINUS_DST_ALPHA SRC_ALPHA_SATURATE
syntax keyword tarvelConstant NEVER LESS EQUAL LEQUAL GREATER NOTEQUAL GEQUAL ALWAYS

highlight default link tarvelComment Comment
highlight default link tarvelHeader Delimiter
highlight default link tarvelType Type
highlight default link tarvelSetting PreProc
highlight default link tarvelKey Keyword
highlight default link tarvelNumber Number
highlight default link tarvelConstant Constant

let b:current_syntax = "tarvel"
