# The shell that run.sh types the tool into: in a terminal, or with none (in
# a session of its own). RUNS times it shows its prompt, which titles the
# terminal as Debian's bash does in xterm-like terminals, and runs COMMAND
# once DIR/go.RUN is there: output to DIR/out.RUN, standard error to
# DIR/err.RUN, exit status to DIR/status.RUN.
#   shell.sh DIR RUNS SETTINGS COMMAND...
# SETTINGS (run.sh's): preexec (the title shows the command while it runs),
# tty (output on a terminal: script's pty, and a copy to the file).
dir=$1 runs=$2 settings=$3
shift 3
export err
for run in $(seq "$runs"); do
    printf '\033]0;user@host: /home/user/reports\007'
    until [ -e "$dir/go.$run" ]; do sleep 0.1; done
    [[ $settings == *" preexec "* ]] && printf '\033]0;%s\007' "$*" && sleep 0.5
    err=$dir/err.$run out=$dir/out.$run
    if [[ $settings == *" tty "* ]]; then
        script -qfec "$(printf '%q ' "$@") 2>\"\$err\"" /dev/null | tee "$out"
    else
        "$@" >"$out" 2>"$err"
    fi
    echo "${PIPESTATUS[0]}" >"$dir/status.$run"
done
exec sleep 1000
