/* A tour of what everyday programs use: arithmetic, the queue, dates, a command and RexxUtil. */
numeric digits 30
say 'arithmetic' 2**100 (1/7) (17 // 5) (-17 % 5) format(3.14159, 2, 2) 1e3 + 1 (0.1 + 0.2 = 0.3)
say 'conversions' c2x('Rexx') x2d('FFFF') d2x(65535) c2d('0102'x) x2c('414243') b2x('1010')
say 'strings' translate('tavmor') reverse('tavmor') wordpos('b', 'a b c') space(' a  b ')
push 'last in'
queue 'first out'
queue 'second out'
say 'queued' queued()
do i = 1 to 3; queue 'item' i; end
do queued(); parse pull line; say 'pulled' line; end
say 'dates' date('N', '20260102', 'S') date('W', '20240229', 'S') date('B', '20000101', 'S'),
    date('D', '20261231', 'S') date('U', '738000', 'B') date('E', '20260704', 'S')
'echo from a command: $((6 * 7))'
say 'command rc' rc
address system 'exit 3'
say 'exit status' rc
call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'
call SysLoadFuncs
call SysFileTree '/nonexistent-tavmor-*', 'f.'
say 'rexxutil' (SysSearchPath('PATH', 'sh') <> '') f.0 SysGetErrorText(2) '|' SysUtilVersion()
s.0 = 3; s.1 = 'pear'; s.2 = 'apple'; s.3 = 'fig'
call SysStemSort 's.'
say 'sorted' s.1 s.2 s.3
say 'c2d of a word' c2d('00000102'x) c2d('ff'x, 1) x2d('8000', 4)
parse version v; say 'version' word(v, 1)
