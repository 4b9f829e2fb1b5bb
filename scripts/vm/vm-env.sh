# Sourced: where the emulated i386 machine lives.
export ZQ_VM_DIR="${ZQ_VM_DIR:-/var/tmp/zq-vm}"
