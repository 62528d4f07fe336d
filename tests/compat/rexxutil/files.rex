/* RexxUtil's file functions. Every time they show is set first, so the listing is the same on
   every run. */
call RxFuncAdd 'SysLoadFuncs', 'RexxUtil', 'SysLoadFuncs'
call SysLoadFuncs
say 'mkdir' SysMkDir('tree') SysMkDir('tree') SysMkDir('tree/sub') SysMkDir('missing/x')
call lineout 'tree/a.txt', 'Hello world'; call lineout 'tree/a.txt', 'second line'
call lineout 'tree/a.txt', 'HELLO again'; call lineout 'tree/a.txt'
call lineout 'tree/b.log', 'x'; call lineout 'tree/b.log'
call lineout 'tree/sub/c.txt', 'deep'; call lineout 'tree/sub/c.txt'
say 'copy' SysCopyObject('tree/a.txt', 'tree/copy.txt') SysCopyObject('nosuch', 'x'),
    SysMoveObject('tree/copy.txt', 'tree/moved.txt') SysMoveObject('nosuch', 'x'),
    SysCreateShadow('tree/b.log', 'tree/link.log') SysCreateShadow('nosuch', 'y')
say 'delete' SysFileDelete('tree/link.log') SysFileDelete('tree/link.log') SysFileDelete('tree/sub')
files = 'tree/a.txt tree/b.log tree/moved.txt tree/sub/c.txt tree/sub tree'
do i = 1 to words(files)
  call SysSetFileDateTime word(files, i), '2024-02-29', '13:14:15'
end
say 'times' SysGetFileDateTime('tree/a.txt') SysGetFileDateTime('tree/a.txt', 'M'),
    SysSetFileDateTime('nosuch', '2024-01-01') SysGetFileDateTime('nosuch')
say 'set date only' SysSetFileDateTime('tree/b.log', '2001-09-09') SysGetFileDateTime('tree/b.log')
call SysSetFileDateTime 'tree/b.log', '2024-02-29', '13:14:15'
call SysSetFileDateTime 'tree', '2024-02-29', '13:14:15'
all = 'F D B FS BS FO DSO BSL BST BSLH S'
do i = 1 to words(all)
  call tree 'tree/*', word(all, i)
end
call tree 'tree/*.txt', 'FSO'
call tree 'tree/', 'FO'
call tree 'tree/sub', 'DO'
call tree 'tree/*', 'BSO', '*+***'
call tree 'tree/*', 'BSO', '-****'
call tree 'tree/*', 'BSO', '**-**'
call tree 'nosuchdir/*', 'B'
say 'search' SysFileSearch('hello', 'tree/a.txt', 'hit.') hit.0 hit.1 '|' hit.2
say 'search case' SysFileSearch('HELLO', 'tree/a.txt', 'hit.', 'C') hit.0 hit.1
say 'search numbers' SysFileSearch('line', 'tree/a.txt', 'hit.', 'N') hit.0 hit.1
say 'search end' SysFileSearch('world', 'tree/a.txt', 'hit.', 'C') hit.0
say 'search missing' SysFileSearch('x', 'nosuch', 'hit.')
call value 'TAVMOR_SEARCH', '/nonexistent:tree:tree/sub', 'ENVIRONMENT'
say 'path' SysSearchPath('TAVMOR_SEARCH', 'c.txt') SysSearchPath('TAVMOR_SEARCH', 'none') '|',
    SysSearchPath('TAVMOR_UNSET', 'c.txt') '|'
t = SysTempFileName('tree/t???.tmp')
say 'temp' length(t) left(t, 6) verify(substr(t, 7, 3), '0123456789') right(t, 4)
t = SysTempFileName('tree/t##-##-##.tmp', '#')
say 'temp filler' length(t) verify(substr(t, 7, 8), '0123456789-') translate(t, '', '0123456789', '0')
say 'temp taken' '['SysTempFileName('tree/a.txt')']'
say 'rmdir' SysRmDir('tree/sub') SysFileDelete('tree/sub/c.txt') SysRmDir('tree/sub') SysRmDir('tree/sub')
say 'filesystem' SysFileSystemType('/')
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
