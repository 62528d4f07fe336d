/* SysFileTree over what only commands make: symbolic links and FIFOs, beside a hard link. */
call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'
call SysLoadFuncs
call SysMkDir 'odd'
call lineout 'odd/plain', 'x'; call lineout 'odd/plain'
address system 'ln -s plain odd/symlink && ln odd/plain odd/hardlink && mkfifo odd/fifo'
call tree 'odd/*', 'BO'
call tree 'odd/*', 'FO', '+****'
call tree 'odd/*', 'FO', '-****'
call tree 'odd/sym*', 'FSO'
exit

tree: procedure
  parse arg spec, options, attributes
  if arg(3, 'E') then rc = SysFileTree(spec, 'f.', options, attributes)
  else rc = SysFileTree(spec, 'f.', options)
  say 'tree' spec options attributes '->' rc f.0
  do i = 1 to f.0
    /* The path, the last word, starts with the working directory, which differs by run. */
    here = strip(directory(), 'T', '/')'/'
    path = word(f.i, words(f.i))
    if abbrev(path, here) then path = './'substr(path, length(here) + 1)
    say '  ' left(f.i, length(f.i) - length(word(f.i, words(f.i)))) || path
  end
  return
