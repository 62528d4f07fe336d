/* RexxUtil's stem functions, on values whose order is the same whatever the sort. */
call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'
call SysLoadFuncs
call set 'pear Apple fig banana apple Cherry'; call show 'sort', SysStemSort('a.'), 'A'
call set 'pear Apple fig banana Cherry'; call show 'descending', SysStemSort('a', 'D'), 'A'
call set 'pear Apple fig banana Cherry'; call show 'caseless', SysStemSort('a', 'A', 'I'), 'A'
call set 'z y x w v'; call show 'range', SysStemSort('a', , , 2, 4), 'A'
call set 'a9z b1y c5x'; call show 'columns', SysStemSort('a', , , , , 2, 3), 'A'
call set 'ccb a bb cca'; call show 'short columns', SysStemSort('a', , , , , 3), 'A'
b.0 = 5; b.5 = 'old'; b.extra = 'gone'
call set 'one two three'
call show 'copy', SysStemCopy('a', 'b'), 'B'
call set 'one two three'
b.0 = 2; b.1 = 'x'; b.2 = 'y'
call show 'copy into', SysStemCopy('a', 'b', 2, 2, 1), 'B'
b.0 = 2; b.1 = 'x'; b.2 = 'y'
call show 'copy insert', SysStemCopy('a', 'b', 1, 2, 2, 'I'), 'B'
call set 'one two three'; call show 'insert', SysStemInsert('a', 2, 'new'), 'A'
call set 'one two three'; call show 'insert end', SysStemInsert('a', 4, 'last'), 'A'
call set 'one two three'; call show 'insert beyond', SysStemInsert('a', 5, 'x'), 'A'
call set 'one two three four'; call show 'delete', SysStemDelete('a', 2), 'A'
call set 'one two three four'; call show 'delete tail', SysStemDelete('a', 3, 2), 'A'
call set 'one two three four'; call show 'delete all', SysStemDelete('a', 1, 4), 'A'
call set 'one two three four'; call show 'delete bad', SysStemDelete('a', 0) SysStemDelete('a', 3, 5), 'A'
call set 'alpha beta gamma delta'
say 'search' RegStemSearch('ga', 'a.') RegStemSearch('GA', 'a.') RegStemSearch('GA', 'a.', , 'C'),
    RegStemSearch('beta', 'a.', 1, 'E') RegStemSearch('bet', 'a.', 1, 'E') RegStemSearch('a', 'a.', 3),
    RegStemSearch('gamma', 'a.', 1, 'CES')
m.0 = 3; m.1 = 'c'; m.2 = 'a'; m.3 = 'b'; n.0 = 3; n.1 = 3; n.2 = 1; n.3 = 2
say 'multi' RegMultiStemSort('A', 'S', , , 'm', 'n') m.1 m.2 m.3 n.1 n.2 n.3
say 'multi bad' RegMultiStemSort('A', 'S', , , 'm', 'nosuch')
call set 'first second'
say 'write' RegStemWrite('lines.txt', 'a') RegStemRead('lines.txt', 'r.', 'short', 'long') r.0 r.1 r.2 short long
say 'read missing' RegStemRead('nosuch.txt', 'r.')
t.0 = 0; t.b = 1; t.a = 2
count = 0
do while RegStemDoOver('t.', 'tail')
  count = count + 1
end
say 'doover' count
drop a. b. m. n. r. t. count short long
x = 'value'; y.1 = 'one'
call SysDumpVariables
call SysDumpVariables 'dump.txt'
exit

set: procedure expose a.
  drop a.
  a.0 = words(arg(1))
  do i = 1 to a.0
    a.i = word(arg(1), i)
  end
  return 'A'

show: procedure expose a. b.
  parse arg what, rc, stem
  line = what rc':' value(stem'.0')
  do i = 1 to value(stem'.0') + 1
    line = line value(stem'.'i)
  end
  say line
  return
