#!/usr/bin/env bash
# The emulated machine's first boot: what it makes here stays in its image.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bash "$here/../wine-prefix.sh"
