" Tarvel demo scripts: comments are lines that begin with ";".
if exists("b:did_ftplugin")
  finish
endif
let b:did_ftplugin = 1
setlocal commentstring=;\ %s
let b:undo_ftplugin = "setlocal commentstring<"
