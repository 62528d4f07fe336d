/* RexxUtil's system, console, macro, INI and Unicode functions, where their results do not
   depend on the moment or the terminal. */
call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'
call SysLoadFuncs
say 'versions' SysUtilVersion() '|' SysVersion() '|' SysLinVer() '|' SysOS2Ver() '|' SysWinVer()
say 'places' SysBootDrive() SysSystemDirectory() SysFileSystemType('/')
say 'errors' SysGetErrorText(2) '|' SysGetErrorText(0) '|' SysGetErrorText(99999)
say 'process' SysQueryProcess('TID') SysQueryProcess('PPRIO') SysQueryProcess('tprio'),
    datatype(SysQueryProcess('PTIME'), 'W') datatype(SysQueryProcess('TTIME'), 'W') (SysQueryProcess('pid') = getpid())
say 'stubs' SysDriveMap() '|' SysVolumeLabel() '|' SysSwitchSession('x') '|' RxMessageBox('x'),
    '|' RxWinExec('x') '|' SysTextScreenRead(1, 1, 5) '|' SysWaitNamedPipe('x'),
    SysWinEncryptFile('x') SysWinDecryptFile('x') SysSetPriority(0, 0)
say 'sleep' SysSleep(0) SysSleep('0.01') SysSleep('abc')
say 'cls' SysCls()
say 'cursor' (SysCurState('OFF') == copies('00'x, 256)) (SysCurState('ON') == copies('00'x, 256))
say 'key' c2x(SysGetKey('NOECHO'))
say 'position' SysCurPos(3, 4)
say 'drive' SysDriveInfo('/nonexistent') '|'
say 'macros' SysAddRexxMacro('m1', 'nofile.rex') SysQueryRexxMacro('m1') SysReorderRexxMacro('m1', 'A'),
    SysDropRexxMacro('m1') SysClearRexxMacroSpace() SysSaveRexxMacroSpace('x.mac'),
    SysLoadRexxMacroSpace('x.mac')
call lineout 'my.ini', '[sec]'; call lineout 'my.ini', 'key = value'
call lineout 'my.ini', '; comment'; call lineout 'my.ini', 'k2=v2'
call lineout 'my.ini', '[SEC2]'; call lineout 'my.ini', 'A=B'; call lineout 'my.ini'
say 'ini' SysIni('my.ini', 'sec', 'key') SysIni('my.ini', 'SEC2', 'a') SysIni('my.ini', 'sec', 'K2'),
    SysIni('my.ini', 'ALL:', 'a') a.0 a.1 a.2 SysIni('my.ini', 'sec', 'ALL:', 'k') k.0 k.1 k.2,
    SysIni(, 'sec', 'key') SysIni('my.ini', 'ALL:') SysIni('my.ini', 'sec', 'ALL:')
say 'ini changes' SysIni('my.ini', 'nosec', 'DELETE:') SysIni('my.ini', 'sec', 'nokey', 'DELETE:'),
    SysIni('my.ini', 'sec', 'k2', 'delete:') SysIni('my.ini', 'new', 'k', 'v')
r = SysToUnicode('a' || 'c3a9'x, 'UTF8', '', 'u.')
say 'to unicode' c2x(u.!text) (r == copies('00'x, 256))
r = SysFromUnicode('6100e900'x, 'UTF8', '', '', 'v.')
say 'from unicode' c2x(v.!text) (r == copies('00'x, 256))
call wrong 'SysSleep'
call wrong 'SysGetErrorText'
call wrong 'SysQueryProcess', 'PPID'
call wrong 'SysLoadFuncs', 1
call wrong 'SysGetFileDateTime', '/', 'x'
call wrong 'SysMkDir'
call wrong 'SysTextScreenSize'
exit

wrong: procedure
  signal on syntax name refused
  if arg() = 1 then interpret 'call' arg(1)
  else if arg() = 2 then interpret 'call' arg(1) 'arg(2)'
  else interpret 'call' arg(1) 'arg(2), arg(3)'
  say 'accepted' arg(1)
  return
refused:
  say 'refused' arg(1) rc
  return

getpid: procedure
  return SysQueryProcess('PID')
