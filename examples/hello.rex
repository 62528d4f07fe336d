/* hello.rex: says hello and shows the arguments it was started with */
parse source system . .
say 'Hello from Rexx on' system'!'
say 'I was given' arg() 'argument(s).'
do i = 1 to arg()
  say '  argument' i': "'arg(i)'"'
end
exit 0
