" Zephyr Elk from Vim: the call tree, the callers and the definitions of a
" name (the word under the cursor, or the argument) in one scratch window.
" The program runs in Vim's working directory and reads ./tags, ./call_tags.
"   :ZkTree [name]     what name calls         (zephyr-elk name)
"   :ZkCallers [name]  who calls name          (zephyr-elk -u name)
"   :ZkTags [name]     the source of its definitions (zephyr-elk --tags name)
" g:zephyr_elk_program names the executable (default "zephyr-elk").

if exists('g:loaded_zephyr_elk') || &compatible
  finish
endif
let g:loaded_zephyr_elk = 1

let s:buffer_name = '[Zephyr Elk]'

function! s:Run(options, name, filetype) abort
  let name = a:name !=# '' ? a:name : expand('<cword>')
  if name ==# ''
    echohl ErrorMsg | echomsg 'Zephyr Elk: no name under the cursor' | echohl None
    return
  endif
  " The program would read a leading dash as an option of its own.
  if name =~# '^-'
    echohl ErrorMsg | echomsg 'Zephyr Elk: not a name: ' . name | echohl None
    return
  endif
  let program = get(g:, 'zephyr_elk_program', 'zephyr-elk')
  let command = shellescape(program) . ' ' . a:options . ' ' . shellescape(name)
  let lines = systemlist(command)
  let status = v:shell_error
  call s:Show(lines, a:filetype)
  if status != 0
    echohl WarningMsg | echomsg 'Zephyr Elk: ' . command . ' ended with status ' . status | echohl None
  endif
endfunction

" The scratch window: reused while it is open, made below the others if not.
function! s:Show(lines, filetype) abort
  let window = bufwinnr(bufnr('^' . escape(s:buffer_name, '[]') . '$'))
  if window > 0
    execute window . 'wincmd w'
  else
    execute 'silent botright new ' . fnameescape(s:buffer_name)
    setlocal buftype=nofile bufhidden=wipe noswapfile nobuflisted
  endif
  setlocal modifiable
  silent %delete _
  call setline(1, a:lines)
  let &l:filetype = a:filetype
  setlocal nomodifiable nomodified
  normal! gg
endfunction

" Definitions are shown in the language of the buffer they were asked from.
command! -nargs=? ZkTree call s:Run('', <q-args>, '')
command! -nargs=? ZkCallers call s:Run('-u', <q-args>, '')
command! -nargs=? ZkTags call s:Run('--tags', <q-args>, &filetype)
