/* Loading RexxUtil and failing to load other packages, as regina answers with regutil installed. */
say 'errmsg before' '['RxFuncErrMsg()']'
say 'query before' RxFuncQuery('SysLoadFuncs') RxFuncQuery('SysCls')
say 'missing package' RxFuncAdd('Foo', 'nosuchpkg', 'Foo') '['RxFuncErrMsg()']' RxFuncQuery('Foo')
say 'missing entry' RxFuncAdd('Bar', 'regutil', 'NoSuchEntry') '['RxFuncErrMsg()']'
say 'names' RxFuncAdd('SysCls', 'RexxUtil', 'SysCls') RxFuncAdd('SysMkDir', 'REXXUTIL'),
    RxFuncAdd('SysRmDir', 'REGUTIL') RxFuncAdd('SysSleep', 'Regutil') RxFuncAdd('SysIni', 'rexxutil')
say 'entries' RxFuncAdd('Version', 'regutil', 'sysutilversion') RxFuncAdd('V2', 'regutil', 'SYSUTILVERSION'),
    RxFuncAdd('SysFileTree', 'regutil') Version() V2()
say 'taken' RxFuncAdd('Version', 'regutil', 'SysVersion') RxFuncAdd('Version', 'nosuch', 'x')
say 'query' RxFuncQuery('version') RxFuncQuery('SYSCLS') RxFuncQuery('SysRmDir') RxFuncQuery('Bar')
say 'drop' RxFuncDrop('Version') RxFuncDrop('Version') RxFuncQuery('Version')
say 'load' RxFuncAdd('SysLoadFuncs', 'regutil', 'SysLoadFuncs') SysLoadFuncs(),
    RxFuncQuery('SysStemSort') RxFuncQuery('RegStemRead') RxFuncQuery('SysDropFuncs')
say 'errmsg after' '['RxFuncErrMsg()']'
say 'drop all' SysDropFuncs() RxFuncQuery('SysStemSort') RxFuncQuery('SysLoadFuncs'),
    RxFuncQuery('SysCls') RxFuncQuery('V2')
signal on syntax name wrongCall
call RxFuncAdd 'OnlyOne'
wrongCall:
say 'wrong call' rc
