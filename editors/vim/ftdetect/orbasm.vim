" orbasm sources: *.orbasm. Other assemblers use *.asm too; to read those as orbasm, put this
" line in your vimrc:
"   autocmd BufNewFile,BufRead *.asm set filetype=orbasm
autocmd BufNewFile,BufRead *.orbasm setfiletype orbasm
