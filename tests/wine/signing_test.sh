#!/usr/bin/env bash
# Authenticode signing of qir.exe through scripts/sign_exe.sh, the build's own signing
# step, with a throwaway CA and code-signing certificate made here: each form of key
# gives a signature that verifies against that CA and no other; the signed program runs
# as the unsigned one does; and one byte changed in the embedded image breaks the
# signature. Nothing reaches the network: no time stamp is asked for.
source "$(dirname "$0")/wine_test_lib.sh"

pki="$WORK/pki"
mkdir "$pki"
quiet() { "$@" >>"$pki/openssl.log" 2>&1 || { cat "$pki/openssl.log" >&2; fail "$*"; finish; }; }

# make_ca NAME: a self-signed CA, NAME.pem with NAME.key.
make_ca() {
    quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=QIR test $1" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
        -keyout "$pki/$1.key" -out "$pki/$1.pem"
}
make_ca ca
make_ca other-ca
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
    >"$pki/leaf.ext"
quiet openssl req -newkey rsa:2048 -nodes -subj "/CN=QIR test signer" \
    -keyout "$pki/leaf.key" -out "$pki/leaf.csr"
quiet openssl x509 -req -in "$pki/leaf.csr" -CA "$pki/ca.pem" -CAkey "$pki/ca.key" \
    -set_serial 2 -days 2 -extfile "$pki/leaf.ext" -out "$pki/leaf.pem"
printf 'not-on-any-command-line\n' >"$pki/password"
quiet openssl pkcs12 -export -inkey "$pki/leaf.key" -in "$pki/leaf.pem" -certfile "$pki/ca.pem" \
    -passout "file:$pki/password" -out "$pki/leaf.p12"
quiet openssl pkey -in "$pki/leaf.key" -aes256 -passout "file:$pki/password" \
    -out "$pki/leaf.encrypted.key"

# The ways a build is given its certificate, as sign_exe.sh options.
form_options() {
    case "$1" in
    pkcs12) options=(--pkcs12 "$pki/leaf.p12" --password-file "$pki/password") ;;
    pem) options=(--cert "$pki/leaf.pem" --key "$pki/leaf.key") ;;
    pem-encrypted) options=(--cert "$pki/leaf.pem" --key "$pki/leaf.encrypted.key" --password-file "$pki/password") ;;
    esac
}
verify() { osslsigncode verify -CAfile "$1" -in "$2" >"$WORK/verify.log" 2>&1; }
for form in pkcs12 pem pem-encrypted; do
    form_options "$form"
    mkdir "$WORK/$form"
    signed="$WORK/$form/qir.exe"
    # In place, as the build signs.
    cp "$QIR_EXE" "$signed"
    if ! "$QIR_SOURCE_DIR/scripts/sign_exe.sh" "${options[@]}" "$signed" "$signed"; then
        fail "[$form] sign_exe.sh failed"
        continue
    fi
    verify "$pki/ca.pem" "$signed" || { cat "$WORK/verify.log" >&2; fail "[$form] the signature does not verify"; }
    ! verify "$pki/other-ca.pem" "$signed" || fail "[$form] the signature verifies against a CA that did not issue it"
done
signed="$WORK/pkcs12/qir.exe"

# The same run from the same path, unsigned and then signed: the same output, log and code.
mkdir "$WORK/run"
declare -A exe_of=([unsigned]="$QIR_EXE" [signed]="$signed")
for kind in unsigned signed; do
    cp "${exe_of[$kind]}" "$WORK/run/qir.exe"
    rc=$(wine_exe --cwd "$WORK/run" --stdout "$WORK/$kind.out" "$WORK/run/qir.exe" /s /log=run.txt)
    echo "$rc" >"$WORK/$kind.rc"
    mask_log "$WORK/run/run.txt" "$(win_path "$WORK/run/qir.exe")" >"$WORK/$kind.log"
done
expect_same "exit code" "$WORK/unsigned.rc" "$WORK/signed.rc"
expect_same "standard output" "$WORK/unsigned.out" "$WORK/signed.out"
expect_same "log file" "$WORK/unsigned.log" "$WORK/signed.log"

# One byte flipped in the middle of the embedded image.
offset=$(python3 -c 'import sys; print(open(sys.argv[1], "rb").read().find(open(sys.argv[2], "rb").read()))' \
    "$signed" "$(windows_image)")
if [[ "$offset" -lt 0 ]]; then
    fail "the image is not in the signed qir.exe"
else
    tampered="$WORK/tampered.exe"
    cp "$signed" "$tampered"
    at=$((offset + 2359296 / 2))
    byte=$(od -An -tu1 -j"$at" -N1 "$tampered" | tr -d ' ')
    printf "\\$(printf '%03o' $((byte ^ 0xff)))" | dd of="$tampered" bs=1 seek="$at" conv=notrunc status=none
    [[ "$(cmp -l "$signed" "$tampered" | wc -l)" == 1 ]] || fail "the tampered copy does not differ in one byte"
    ! verify "$pki/ca.pem" "$tampered" || fail "a byte changed in the image keeps the signature valid"
fi

finish
