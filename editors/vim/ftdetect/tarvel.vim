" Tarvel demo scripts: every file whose name holds ".tvl".
autocmd BufRead,BufNewFile *.tvl,*.tvl.* setfiletype tarvel
