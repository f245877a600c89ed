#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those missing.
#
#   install_deps.sh native   what the Linux build, its tests and ./run need
#   install_deps.sh windows  the Windows cross toolchain, Wine, Xvfb and friends (./run --wine)
#   install_deps.sh all      also the Windows cross toolchain, Wine, Xvfb and friends,
#                            the signing tools, clang with its sanitizer and libFuzzer
#                            runtimes, and Ansible with ansible-lint for the deployment
#                            examples
#
# With everything present it returns at once, without touching apt. Anything it cannot
# install is an error: a test that needs it must fail, not be skipped.
set -euo pipefail

native=(cmake ninja-build g++ libgtest-dev nlohmann-json3-dev ccache clang-format)
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine xvfb xdotool
         imagemagick x11-utils jq osslsigncode openssl python3)
fuzzing=(clang-14 libclang-rt-14-dev)
deployment=(ansible ansible-lint)

case "${1:-all}" in
native) wanted=("${native[@]}") ;;
windows) wanted=("${native[@]}" "${windows[@]}") ;;
all) wanted=("${native[@]}" "${windows[@]}" "${fuzzing[@]}" "${deployment[@]}") ;;
*) echo "usage: $0 [native|windows|all]" >&2; exit 2 ;;
esac

installed() {
    [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" == "install ok installed" ]]
}

missing=()
for p in "${wanted[@]}"; do
    installed "$p" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install_deps: installing ${missing[*]}" >&2
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "install_deps: need root or sudo to install ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update >&2 || { echo "install_deps: apt-get update failed" >&2; exit 1; }
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}" >&2 ||
    { echo "install_deps: apt-get install ${missing[*]} failed" >&2; exit 1; }

still=()
for p in "${missing[@]}"; do
    installed "$p" || still+=("$p")
done
if [[ ${#still[@]} -ne 0 ]]; then
    echo "install_deps: still missing after install: ${still[*]}" >&2
    exit 1
fi
