/* RexxUtil's semaphores, within one program: what each operation answers, never a wait that
   another process would have to end. Their names are the program's own: semaphores are shared
   by every process on the machine, unnamed ones too. */
call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'
call SysLoadFuncs
own = 'tavmor-compat-'SysQueryProcess('PID')'-'
e = SysCreateEventSem(own'auto')
say 'event' length(e) SysPostEventSem(e) SysWaitEventSem(e, 10) SysResetEventSem(e),
    SysPulseEventSem(e) SysWaitEventSem(e, 10) SysCloseEventSem(e)
m = SysCreateEventSem(own'manual', 1)
say 'manual' length(m) SysPostEventSem(m) SysWaitEventSem(m, 10) SysWaitEventSem(m, 10),
    SysResetEventSem(m) SysWaitEventSem(m, 10)
o = SysOpenEventSem(own'manual')
say 'opened' length(o) (o == m) length(SysOpenEventSem(own'none')),
    SysCloseEventSem(o) SysCloseEventSem(m)
x = SysCreateMutexSem(own'mutex')
say 'mutex' length(x) SysRequestMutexSem(x, 10) SysRequestMutexSem(x, 10),
    SysReleaseMutexSem(x) SysRequestMutexSem(x, 10) SysReleaseMutexSem(x),
    (SysOpenMutexSem(own'mutex') == x) SysCloseMutexSem(x) SysCloseMutexSem(x)
say 'bad handles' SysPostEventSem('x') SysWaitEventSem('') SysRequestMutexSem('toolong'),
    SysReleaseMutexSem('x') SysCloseEventSem('x') SysResetEventSem('x') SysPulseEventSem('x')
