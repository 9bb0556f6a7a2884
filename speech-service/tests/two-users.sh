#!/usr/bin/env bash
# Two users of one machine at once, each in a private desktop of their own with the local speech
# service as installed (a socket in their runtime folder, the pages on a free loopback port):
# each signs in through Chromium and dictates a recording into mousepad; neither blocks the
# other, and neither reaches the other's service or pages, even where the files would let them.
# Needs root to make the users (CI runs as root); skipped otherwise.
#   two-users.sh BUILD_DIR
# Each user's session is this script again, run as that user:
#   two-users.sh BUILD_DIR --session FOLDER
set -uo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
speech=/usr/share/pocketsphinx/test/data/goforward.raw

# One user's whole session; FOLDER/state says how far it got, and FOLDER/finish (from root,
# once it has tried the other user's doors) ends it.
if [[ ${2:-} == --session ]]; then
  folder=$3
  # shellcheck source=../../scripts/lib/dictation-session.sh
  source "$here/../../scripts/lib/dictation-session.sh"
  # The session's folder goes with it: what went wrong is told first.
  trap 'code=$?; ((code == 0)) || tail -n 20 "$session_dir"/{service,wrenly,browser}.log >&2
    session_stop' EXIT
  trap 'exit 143' TERM
  step() { echo "$1" >"$folder/state.new" && mv "$folder/state.new" "$folder/state"; }
  session_start "$folder/session" "$build" || exit 1
  session_start_service || exit 1
  step serving
  session_start_program || exit 1
  session_set_up_trigger_key || exit 1
  session_sign_in || exit 1
  session_live_recognition off || exit 1
  session_open_editor || exit 1
  session_dictate "$speech" || exit 1
  text=$(session_editor_text "forward" 90) || session_fail "no dictation in mousepad: '$text'" ||
    exit 1
  session_log "landed in mousepad: $text"
  grep -q "path=transcribe status=200" "$session_dir/service.log" ||
    session_fail "the recording never reached this user's service" || exit 1
  step dictated
  session_wait 3000 test -e "$folder/finish" || exit 1
  exit 0
fi

if [[ $(id -u) != 0 ]]; then
  echo "SKIP: making two users takes root (CI runs as root)" >&2
  exit 77
fi
began=$(date +%s)
scratch=$(mktemp -d /tmp/wrenly-two-users.XXXXXX)
chmod 0711 "$scratch"
declare -A account session
made=()
finish() {
  local name user
  # Sessions still running after a failure are ended; each stops its own desktop.
  for name in "${!session[@]}"; do kill -TERM "${session[$name]}" 2>/dev/null; done
  for name in "${!session[@]}"; do wait "${session[$name]}" 2>/dev/null; done
  for user in "${made[@]}"; do userdel "$user" 2>/dev/null; done
  rm -rf "$scratch"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  for name in a b; do
    echo "--- the session of $name:" && cat "$scratch/$name/session.log"
    tail -n 20 "$scratch/$name/session/"{service,wrenly}.log
  done >&2 2>/dev/null
  exit 1
}

for name in a b; do
  user=wrenly-test-$name
  if ! id "$user" >/dev/null 2>&1; then
    useradd --no-create-home --home-dir "$scratch/$name/session/home" --shell /usr/sbin/nologin \
      "$user" || fail "useradd $user"
    made+=("$user")
  fi
  account[$name]=$user
  mkdir -p "$scratch/$name"
  chown "$user:" "$scratch/$name"
  chmod 0700 "$scratch/$name"
done

as() {  # as NAME COMMAND...: as that user, with nothing of root's environment
  local name=$1
  shift
  # With as_exec set, in place of the shell (a background job's PID is then the command's).
  ${as_exec:+exec} setpriv --reuid="${account[$name]}" --regid="$(id -g "${account[$name]}")" --init-groups \
    env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$scratch/$name/session/home" \
    XDG_RUNTIME_DIR="$scratch/$name/session/run" "$@"
}
by() {  # by CALLER COMMAND...: as user a or b, or as root
  local caller=$1
  shift
  if [[ $caller == root ]]; then "$@"; else as "$caller" "$@"; fi
}
run_of() { echo "$scratch/$1/session/run/wrenly"; }
socket_of() { echo "$(run_of "$1")/speech-service.sock"; }
state_of() { cat "$scratch/$1/state" 2>/dev/null; }
# A copy anyone may read: the other user trusts it too, so that every refusal below is the
# service's, never a certificate's.
authority_of() { echo "$scratch/$1-authority.pem"; }
# status CALLER OWNER URL [CURL OPTIONS...]: the HTTP status CALLER gets from OWNER's socket,
# trusting OWNER's authority; 000 for none.
status() {
  local caller=$1 owner=$2
  shift 2
  by "$caller" curl -s -o /dev/null -w '%{http_code}' --max-time 5 \
    --unix-socket "$(socket_of "$owner")" --cacert "$(authority_of "$owner")" "$@"
}
# page CALLER URL [CURL OPTIONS...]: the HTTP status CALLER's plain-HTTP request gets; 000 for none.
page() {
  local caller=$1
  shift
  by "$caller" curl -s -o /dev/null -w '%{http_code}' --max-time 5 "$@"
}
refusals() { grep -c "refused a connection of another user" "$scratch/$1/session/service.log"; }

# Both sessions at once, each as its own user.
for name in a b; do
  as_exec=1 as "$name" "$here/two-users.sh" "$build" --session "$scratch/$name" \
    >"$scratch/$name/session.log" 2>&1 &
  session[$name]=$!
done
wait_for() {  # wait_for STATE: both sessions there, or one ended short of it
  local name
  for name in a b; do
    until [[ $(state_of "$name") == *"$1"* ]]; do
      kill -0 "${session[$name]}" 2>/dev/null || fail "the session of $name ended before $1"
      sleep 0.2
    done
  done
}
wait_for serving
for name in a b; do
  install -m 0644 "$scratch/$name/session/home/.local/share/wrenly-speech-service/authority.pem" \
    "$(authority_of "$name")" || fail "no authority of $name"
done
pages_a=$(as a cat "$(run_of a)/speech-service.pages") || fail "no pages of a"
pages_b=$(as b cat "$(run_of b)/speech-service.pages") || fail "no pages of b"
[[ $pages_a != "$pages_b" ]] || fail "both on one port: $pages_a"
echo "both services run: a's pages at $pages_a, b's at $pages_b"

# The built-in address: only a name once the service is reached through its socket.
base=https://127.0.0.1:47615/wrenly/v1/
token=b6Yx1n0Jm4d3Qw7Ls2Kp9Vt5Ha8Ge1Rc6Uz0Fi4Oo3
[[ $(status a a "${base}access") == 401 ]] || fail "a does not reach their service"
# A second service of the same user leaves the running one alone.
as a "$build/speech-service/wrenly-speech-service" >"$scratch/a-again.log" 2>&1 &&
  fail "a second service of a started"
grep -q "another service answers there" "$scratch/a-again.log" || fail "$(cat "$scratch/a-again.log")"
[[ $(status a a "${base}access") == 401 ]] || fail "a's service gone after the second start"

# The other user: the runtime folder keeps them out, and where it would not, the service does.
[[ $(status b a "${base}access") == 000 ]] || fail "b reached a's service"
[[ $(status a b "${base}access") == 000 ]] || fail "a reached b's service"
before=$(refusals a)
chmod 0755 "$scratch/a" "$scratch/a/session" "$scratch/a/session/run" "$(run_of a)"
chmod 0666 "$(socket_of a)"
[[ $(status b a "${base}access") == 000 ]] || fail "b reached a's service through an open socket"
[[ $(status b a -d "{\"token\":\"$token\"}" "${base}account/mac/start") == 000 ]] ||
  fail "b started a sign-in at a's service"
[[ $(status root a "${base}access") == 000 ]] || fail "root reached a's service"
# The pages answer their own user's browser only, and no call even to them.
[[ $(page a "${pages_a%/}/privacy/") == 200 ]] || fail "a's privacy page"
for caller in b root; do
  [[ $(page $caller "${pages_a%/}/privacy/") == 000 ]] || fail "$caller loaded a's pages"
done
[[ $(page a "${pages_b%/}/privacy/") == 000 ]] || fail "a loaded b's pages"
[[ $(page a -d "{\"token\":\"$token\"}" "${pages_a%/}/wrenly/v1/account/mac/start") == 403 ]] ||
  fail "a call on a's pages port"
[[ $(page a -k "https://${pages_a#http://}wrenly/v1/access") == 000 ]] || fail "TLS on a's pages"
[[ $(refusals a) -ge $((before + 5)) ]] || fail "a's service logged $(refusals a) refusals"
echo "each user reaches their own service and pages only, after $(($(date +%s) - began)) s"

# Meanwhile each signs in through Chromium and dictates into mousepad.
wait_for dictated
for name in a b; do
  touch "$scratch/$name/finish"
  wait "${session[$name]}" || fail "the session of $name"
  unset "session[$name]"
  grep -E "signed in through|landed in mousepad" "$scratch/$name/session.log" | sed "s/^/$name: /"
done
echo "both signed in and dictated, in $(($(date +%s) - began)) s"
