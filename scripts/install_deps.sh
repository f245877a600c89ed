#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only those missing.
#
#   install_deps.sh native   what the Linux build, its tests and ./run need
#   install_deps.sh windows  the Windows cross toolchain, Wine, Xvfb and friends (./run --wine)
#   install_deps.sh all      also the Windows cross toolchain, Wine, Xvfb and friends,
#                            the signing tools, clang with its sanitizer and libFuzzer
#                            runtimes, Ansible with ansible-lint for the deployment
#                            examples, and PowerShell with Pester as below
#   install_deps.sh powershell [DIR]
#                            PowerShell 7.6 and Pester 5.7.1, for the tests of the
#                            deployment scripts, into DIR (default: build/tools), from the
#                            .NET SDK on the machine (which it does not install)
#
# With everything present it returns at once, without touching apt or NuGet. Anything it
# cannot install is an error: a test that needs it must fail, not be skipped.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
powershell_version=7.6.10
pester_version=5.7.1

# install_powershell DIR: DIR/powershell/pwsh, and Pester in DIR/nuget/pester/<version>/tools.
# PowerShell comes as a .NET tool and Pester as a NuGet package that a throwaway project
# downloads; both stay in DIR, so nothing lands in the user's tool folders.
install_powershell() {
    local dir=$1 scratch
    if [[ -x "$dir/powershell/pwsh" && -d "$dir/powershell/.store/powershell/$powershell_version" &&
        -f "$dir/nuget/pester/$pester_version/tools/Pester.psd1" ]]; then
        return 0
    fi
    if ! command -v dotnet >/dev/null || [[ -z "$(dotnet --list-sdks 2>/dev/null)" ]]; then
        echo "install_deps: PowerShell and Pester are installed from the .NET SDK, and this machine" \
            "has none ('dotnet --list-sdks' lists nothing): install the .NET SDK (8 or later)," \
            "then run $0 powershell again" >&2
        return 1
    fi
    export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1
    echo "install_deps: installing PowerShell $powershell_version and Pester $pester_version into $dir" >&2
    mkdir -p "$dir"
    # Without the version the tool's newest release comes, which does not install here.
    if [[ ! -d "$dir/powershell/.store/powershell/$powershell_version" ]]; then
        rm -rf "$dir/powershell"
        dotnet tool install --tool-path "$dir/powershell" PowerShell --version "$powershell_version" >&2 ||
            { echo "install_deps: dotnet tool install PowerShell $powershell_version failed" >&2; return 1; }
    fi
    scratch=$(mktemp -d)
    printf '%s\n' '<Project Sdk="Microsoft.NET.Sdk">' \
        "  <PropertyGroup><TargetFramework>net$(dotnet --version | cut -d. -f1).0</TargetFramework></PropertyGroup>" \
        "  <ItemGroup><PackageDownload Include=\"Pester\" Version=\"[$pester_version]\" /></ItemGroup>" \
        '</Project>' >"$scratch/pester.csproj"
    if ! dotnet restore "$scratch/pester.csproj" --packages "$dir/nuget" >&2; then
        rm -rf "$scratch"
        echo "install_deps: dotnet restore of Pester $pester_version failed" >&2
        return 1
    fi
    rm -rf "$scratch"
    [[ -x "$dir/powershell/pwsh" && -f "$dir/nuget/pester/$pester_version/tools/Pester.psd1" ]] ||
        { echo "install_deps: PowerShell or Pester is missing from $dir after the install" >&2; return 1; }
}


native=(cmake ninja-build g++ libgtest-dev nlohmann-json3-dev ccache clang-format)
windows=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine64 wine xvfb xdotool
         imagemagick x11-utils jq osslsigncode openssl python3)
fuzzing=(clang-14 libclang-rt-14-dev)
deployment=(ansible ansible-lint)

case "${1:-all}" in
native) wanted=("${native[@]}") ;;
windows) wanted=("${native[@]}" "${windows[@]}") ;;
all) wanted=("${native[@]}" "${windows[@]}" "${fuzzing[@]}" "${deployment[@]}") ;;
powershell) install_powershell "${2:-$repo/build/tools}"; exit ;;
*) echo "usage: $0 [native|windows|all|powershell [DIR]]" >&2; exit 2 ;;
esac

[[ "${1:-all}" != all ]] || install_powershell "$repo/build/tools"

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
