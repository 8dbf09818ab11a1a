#!/usr/bin/env bash
# The main job behind `make run`: make a sample doughnut picture with the
# project's own tool and unwrap it into a panorama.
set -euo pipefail
bin="${1:-build-release}/bin"
out="${HV_OUT:-out}"
mkdir -p "$out"
"$bin/hvtool" make-sample --out "$out/sample-doughnut.png"
"$bin/hvtool" unwrap "$out/sample-doughnut.png" --out "$out/sample-panorama.png"
echo "Unwrapped panorama written to $out/sample-panorama.png"
