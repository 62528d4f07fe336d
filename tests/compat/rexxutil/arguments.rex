/* Which argument counts each RexxUtil function accepts: none, one, two, three and six. Left out:
   the ones that wait for input or time, draw on the terminal, or drop the package. */
call RxFuncAdd 'SysLoadFuncs', 'regutil', 'SysLoadFuncs'
call SysLoadFuncs
functions = ,
  'regmultistemsort regstemread regstemsearch regstemwrite rxmessagebox ' ||,
  'rxwinexec sysaddrexxmacro sysbootdrive sysclearrexxmacrospace syscloseeventsem ' ||,
  'sysclosemutexsem syscopyobject syscreateeventsem syscreatemutexsem syscreateshadow ' ||,
  'sysdriveinfo sysdrivemap sysdroprexxmacro sysdumpvariables sysfiledelete sysfilesearch ' ||,
  'sysfilesystemtype sysfiletree sysfromunicode sysgeterrortext sysgetfiledatetime sysini ' ||,
  'syslinver sysloadfuncs sysloadrexxmacrospace sysmkdir sysmoveobject sysopeneventsem ' ||,
  'sysopenmutexsem sysos2ver sysposteventsem syspulseeventsem sysqueryprocess ' ||,
  'sysqueryrexxmacro sysreleasemutexsem sysreorderrexxmacro sysrequestmutexsem ' ||,
  'sysreseteventsem sysrmdir syssaverexxmacrospace syssearchpath syssetfiledatetime ' ||,
  'syssetpriority sysstemcopy sysstemdelete syssteminsert sysstemsort sysswitchsession ' ||,
  'syssystemdirectory systempfilename systextscreenread systextscreensize systounicode ' ||,
  'sysutilversion sysversion sysvolumelabel syswaiteventsem syswaitnamedpipe ' ||,
  'syswindecryptfile syswinencryptfile syswinver ' ||,
  ''
do f = 1 to words(functions)
  do c = 1 to 5
    call try word(functions, f), word('0 1 2 3 6', c)
  end
end
exit

try: procedure
  parse arg name, count
  signal on syntax name refused
  args = ''
  do i = 1 to count
    args = args', "zz"'
  end
  interpret 'r = 'name'('substr(args, 2)')'
  say name count 'accepted' length(r)
  return
refused:
  say name count 'refused'
  return
