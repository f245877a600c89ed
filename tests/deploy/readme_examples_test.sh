#!/usr/bin/env bash
# The deployment examples as an admin reads them: every file of deploy/ is quoted in
# the README exactly as it is (under a line naming it), and no example, in deploy/ or
# in a code block of the README's "Deployment" section, puts the program or the log in
# a folder that users can write.
source "$(dirname "$0")/deploy_test_lib.sh"
README="$QIR_SOURCE_DIR/README.md"

# quoted PATH: the fenced block after the README line "`PATH`...:".
quoted() {
    awk -v want="\`$1\`" '
        state == 0 && index($0, want) == 1 && /:$/ { state = 1; next }
        state == 1 && /^$/ { next }
        state == 1 && /^```/ { state = 2; next }
        state == 1 { exit }
        state == 2 && /^```$/ { exit }
        state == 2 { print }
    ' "$README"
}

mapfile -t examples < <(cd "$QIR_SOURCE_DIR" && find deploy -type f -not -path 'deploy/ansible/files/*' | sort)
[[ ${#examples[@]} -ge 5 ]] || fail "only ${#examples[@]} files found in deploy/"
for f in "${examples[@]}"; do
    quoted "$f" >quoted.txt
    if ! cmp -s quoted.txt "$QIR_SOURCE_DIR/$f"; then
        fail "README does not quote $f as it is:"
        diff quoted.txt "$QIR_SOURCE_DIR/$f" | head -n 20 >&2 || true
    fi
done

# The code blocks of the Deployment section, then every file of deploy/.
awk '/^## / { in_section = ($0 == "## Deployment") }
     in_section && /^```/ { in_block = !in_block; next }
     in_section && in_block' "$README" >examples.txt
(cd "$QIR_SOURCE_DIR" && cat "${examples[@]}" packaging/DEPLOYMENT.txt) >>examples.txt
grep -c . examples.txt >/dev/null || fail "no example found"

# Absolute paths lie in the two admin-only folders the README gives.
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
