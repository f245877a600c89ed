#!/usr/bin/env bash
# Signs a Windows program with Authenticode (SHA-256) through osslsigncode.
#
#   sign_exe.sh (--pkcs12 FILE | --cert FILE --key FILE) [--password-file FILE]
#               [--timestamp URL] IN OUT
#
#     --pkcs12 FILE         certificate, its chain and key in one PKCS#12 file
#     --cert FILE           certificate and chain, PEM (with --key, instead of --pkcs12)
#     --key FILE            its private key, PEM
#     --password-file FILE  the password of the PKCS#12 file or of the key, on its first
#                           line; handed to osslsigncode as a file, so it never shows in
#                           a process listing
#     --timestamp URL       an RFC 3161 time-stamp server, so the signature stays valid
#                           after the certificate expires
#
# IN and OUT may be the same file: OUT is replaced only once the signed copy is complete.
set -euo pipefail

die() {
    echo "sign_exe: $*" >&2
    exit 2
}

pkcs12="" cert="" key=""
options=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --pkcs12) pkcs12="$2"; shift 2 ;;
    --cert) cert="$2"; shift 2 ;;
    --key) key="$2"; shift 2 ;;
    --password-file) options+=(-readpass "$2"); shift 2 ;;
    --timestamp) options+=(-ts "$2"); shift 2 ;;
    --) shift; break ;;
    -*) die "unknown option $1" ;;
    *) break ;;
    esac
done
[[ $# -eq 2 ]] || die "usage: sign_exe.sh (--pkcs12 FILE | --cert FILE --key FILE) [--password-file FILE] [--timestamp URL] IN OUT"
in="$1" out="$2"

if [[ -n "$pkcs12" && -z "$cert$key" ]]; then
    options+=(-pkcs12 "$pkcs12")
elif [[ -z "$pkcs12" && -n "$cert" && -n "$key" ]]; then
    options+=(-certs "$cert" -key "$key")
else
    die "give either --pkcs12, or --cert and --key"
fi
command -v osslsigncode >/dev/null || die "osslsigncode is not installed (run scripts/install_deps.sh)"
[[ -f "$in" ]] || die "no such file: $in"

# osslsigncode writes only to a file that does not exist yet; a folder of its own beside
# OUT keeps the final move a rename on the same file system.
staging="$(mktemp -d "$(dirname "$out")/.signing.XXXXXX")"
trap 'rm -rf "$staging"' EXIT
osslsigncode sign "${options[@]}" -h sha256 -in "$in" -out "$staging/signed" >/dev/null ||
    die "osslsigncode could not sign $in"
chmod --reference="$in" "$staging/signed"
mv -f "$staging/signed" "$out"
