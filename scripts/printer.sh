#!/usr/bin/env bash
# A real printer for the tests and the player: CUPS with a cups-pdf queue
# "ZQPDF", made the default destination, that turns each job into a PDF file
# in $ZQ_PDF_DIR. Wine finds it when a program starts.
#   printer.sh start   starts cupsd unless one runs, adds the queue
#   printer.sh stop    removes the queue, puts back the default destination and
#                      cups-pdf's configuration, stops cupsd if start started it
# Prints nothing and succeeds where CUPS or cups-pdf is not installed.
set -uo pipefail
pdf_dir="${ZQ_PDF_DIR:-/var/tmp/zq-pdf}"
state=/run/zq-printer
queue=ZQPDF
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[ -x /usr/sbin/cupsd ] && [ -f "$ppd" ] || exit 0
running() { lpstat -r 2>/dev/null | grep -q "is running"; }

case "${1:-}" in
start)
    mkdir -p "$state" "$pdf_dir"
    chmod 1777 "$pdf_dir"
    # cups-pdf's output folder is a setting of the whole system: keep the
    # original to put back at stop.
    conf=/etc/cups/cups-pdf.conf
    [ -f "$state/cups-pdf.conf" ] || cp "$conf" "$state/cups-pdf.conf"
    sed -i '/^Out /d' "$conf"
    echo "Out $pdf_dir" >>"$conf"
    if ! running; then
        /usr/sbin/cupsd || { echo "zq: cupsd did not start" >&2; exit 1; }
        touch "$state/started-cupsd"
        for _ in $(seq 100); do running && break; sleep 0.1; done
    fi
    # The machine's default destination, to put back at stop.
    [ -f "$state/default" ] ||
        lpstat -d 2>/dev/null | sed -n 's/^system default destination: //p' >"$state/default"
    lpadmin -p "$queue" -E -v cups-pdf:/ -P "$ppd" 2>/dev/null &&
        lpadmin -d "$queue" || { echo "zq: could not add the PDF printer" >&2; exit 1; }
    ;;
stop)
    lpadmin -x "$queue" 2>/dev/null
    if [ -f "$state/default" ]; then
        previous=$(cat "$state/default")
        [ -n "$previous" ] && [ "$previous" != "$queue" ] && lpadmin -d "$previous" 2>/dev/null
        rm -f "$state/default"
    fi
    [ -f "$state/cups-pdf.conf" ] && mv "$state/cups-pdf.conf" /etc/cups/cups-pdf.conf
    if [ -f "$state/started-cupsd" ]; then
        pkill -x cupsd
        for _ in $(seq 100); do pgrep -x cupsd >/dev/null || break; sleep 0.05; done
        rm -f "$state/started-cupsd"
    fi
    ;;
*) echo "usage: printer.sh start|stop" >&2; exit 2 ;;
esac
