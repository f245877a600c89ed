#!/usr/bin/env bash
# The playbook against its example inventory: Ansible's syntax check (which also
# resolves every module against Debian's ansible.windows collection) and ansible-lint's
# production profile. Neither connects to the host.
source "$(dirname "$0")/deploy_test_lib.sh"
need ansible-playbook
need ansible-lint

ansible-playbook --syntax-check -i "$INVENTORY" "$PLAYBOOK" >syntax.txt 2>&1 ||
    { cat syntax.txt >&2; fail "ansible-playbook --syntax-check"; }

# ansible-lint takes the git checkout around a file for its project and writes its
# cache there, so it lints copies here.
cp "$PLAYBOOK" "$INVENTORY" .
ansible-lint --offline --profile production qir.yml inventory.yml >lint.txt 2>&1 ||
    { cat lint.txt >&2; fail "ansible-lint"; }
finish
