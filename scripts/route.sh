# Sourced: how this machine runs the Windows side (Wine), and a way to run it.
#   zq_route              prints "native" or "vm"; ZQ_ROUTE=vm (or native) forces it
#   zq_windows_side CMD   runs CMD with the Wine settings on a virtual display,
#                         here or inside the emulated i386 machine
zq_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# Wine is a 32-bit program. Run a tiny 32-bit program and ask the kernel which
# executable it really runs: a qemu-user entry in binfmt_misc would run it too,
# but as qemu, and Wine does not work that way.
zq_kernel_runs_32bit() {
    local dir line exe=
    dir=$(mktemp -d)
    if ! as --32 -o "$dir/probe.o" "$zq_scripts/vm/probe32.s" 2>/dev/null ||
       ! ld -m elf_i386 -o "$dir/probe" "$dir/probe.o" 2>/dev/null; then
        rm -rf "$dir"; return 1
    fi
    coproc ZQ_PROBE { exec "$dir/probe" 2>/dev/null; }
    if read -r -t 30 line <&"${ZQ_PROBE[0]}" && [ "$line" = ready ]; then
        exe=$(readlink "/proc/$ZQ_PROBE_PID/exe" 2>/dev/null || true)
    fi
    local pid=$ZQ_PROBE_PID
    eval "exec ${ZQ_PROBE[1]}>&-"
    wait "$pid" 2>/dev/null || true
    rm -rf "$dir"
    [ "$exe" = "$dir/probe" ]
}

zq_route() {
    case "${ZQ_ROUTE:-}" in
        native | vm) echo "$ZQ_ROUTE" ;;
        "") if zq_kernel_runs_32bit; then echo native; else echo vm; fi ;;
        *) echo "zq: ZQ_ROUTE must be native or vm, not '$ZQ_ROUTE'" >&2; return 2 ;;
    esac
}

zq_windows_side() {
    if [ "$(zq_route)" = vm ]; then
        "$zq_scripts/vm/run.sh" bash "$zq_scripts/in-wine.sh" "$@"
    else
        bash "$zq_scripts/in-wine.sh" "$@"
    fi
}
