#!/usr/bin/env bash
# The deployment examples as an admin reads them: docs/deployment.md names every file of
# deploy/ by its path, and no example, in deploy/, in a code block of docs/deployment.md
# or in the package's own part of DEPLOYMENT.txt, puts the program or the log in a folder
# that users can write.
source "$(dirname "$0")/deploy_test_lib.sh"
GUIDE="$QIR_SOURCE_DIR/docs/deployment.md"

mapfile -t examples < <(cd "$QIR_SOURCE_DIR" && find deploy -type f -not -path 'deploy/ansible/files/*' | sort)
[[ ${#examples[@]} -ge 5 ]] || fail "only ${#examples[@]} files found in deploy/"
for f in "${examples[@]}"; do
    grep -qF "\`$f\`" "$GUIDE" || fail "docs/deployment.md does not name $f"
done

# The code blocks of the guide, then every file of deploy/.
awk '/^```/ { in_block = !in_block; next } in_block' "$GUIDE" >examples.txt
(cd "$QIR_SOURCE_DIR" && cat "${examples[@]}" packaging/DEPLOYMENT.txt) >>examples.txt
grep -c . examples.txt >/dev/null || fail "no example found"

# Absolute paths lie in the two admin-only folders the guide gives.
while read -r path; do
    [[ "$path" == 'C:\Program Files\QIR'* || "$path" == 'C:\Windows\Logs\'* ]] ||
        fail "an example uses $path"
done < <(grep -oiE "[a-z]:\\\\[^'\"]*" examples.txt)
# And nothing names a folder that users can write, however it is spelled.
if grep -inE '(\\|%|env:)(temp|tmp)\b|programdata|appdata|userprofile|\\users\\' examples.txt >found.txt; then
    fail "an example names a folder that users can write:"
    cat found.txt >&2
fi
finish
