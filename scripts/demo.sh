#!/usr/bin/env bash
# Installs what is missing, builds, prepares a demo working directory and
# starts the console in it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
demo="$PWD/demo"
mkdir -p "$demo"/{data,Dorvan301DK,Dorvan302DK,Dorvan301DK_mess,Dorvan302DK_mess,QReport,ports}
cp -n data/Error.wav "$demo/"
cd "$demo"
exec ../build/bin/dorvan-console
