#!/usr/bin/env bash
# Two users of one machine, each running the local speech service of their own as the installed
# units do (a socket in their runtime folder, the pages on a free port): neither blocks the
# other, each reaches their own, and each is refused by the other's, even where the files would
# let them in. Needs root to make the users (CI runs as root); skipped otherwise.
#   two-users.sh SERVICE_BINARY
set -uo pipefail
service=$1
if [[ $(id -u) != 0 ]]; then
  echo "SKIP: making two users takes root (CI runs as root)" >&2
  exit 77
fi

scratch=$(mktemp -d /tmp/wrenly-two-users.XXXXXX)
chmod 0711 "$scratch"
pids=()
made=()
finish() {
  local pid user
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  for user in "${made[@]}"; do userdel "$user" 2>/dev/null; done
  rm -rf "$scratch"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  for name in a b; do echo "--- the service of $name:" && cat "$scratch/$name.log"; done >&2
  exit 1
}

# The built-in address: only a name once the service is reached through its socket.
base=https://127.0.0.1:47615/wrenly/v1/
token=b6Yx1n0Jm4d3Qw7Ls2Kp9Vt5Ha8Ge1Rc6Uz0Fi4Oo3

declare -A account
for name in a b; do
  user=wrenly-test-$name
  if ! id "$user" >/dev/null 2>&1; then
    useradd --no-create-home --home-dir "$scratch/$name" --shell /usr/sbin/nologin "$user" ||
      fail "useradd $user"
    made+=("$user")
  fi
  account[$name]=$user
  mkdir -p "$scratch/$name/run"
  chown -R "$user:" "$scratch/$name"
  chmod 0700 "$scratch/$name" "$scratch/$name/run"
done

as() {  # as NAME COMMAND...: as that user, in the environment of their own session
  local name=$1
  shift
  setpriv --reuid="${account[$name]}" --regid="$(id -g "${account[$name]}")" --init-groups \
    env -i PATH=/usr/bin:/bin HOME="$scratch/$name" XDG_RUNTIME_DIR="$scratch/$name/run" "$@"
}
socket_of() { echo "$scratch/$1/run/wrenly/speech-service.sock"; }
# A copy anyone may read: the other user trusts it too, so that every refusal below is the
# service's, never a certificate's.
authority_of() { echo "$scratch/$1-authority.pem"; }
# status CALLER OWNER [CURL OPTIONS...]: the HTTP status CALLER gets at OWNER's socket, trusting
# OWNER's authority; 000 for none.
status() {
  local caller=$1 owner=$2
  shift 2
  if [[ $caller == root ]]; then
    curl -s -o /dev/null -w '%{http_code}' --max-time 5 --unix-socket "$(socket_of "$owner")" \
      --cacert "$(authority_of "$owner")" "$@"
  else
    as "$caller" curl -s -o /dev/null -w '%{http_code}' --max-time 5 \
      --unix-socket "$(socket_of "$owner")" --cacert "$(authority_of "$owner")" "$@"
  fi
}
refusals() { grep -c "refused a connection of another user" "$scratch/$1.log"; }

# The engine is a server that is not there: nothing here recognises, and no model is loaded.
for name in a b; do
  as "$name" "$service" --engine endpoint --endpoint-url http://127.0.0.1:9/v1 \
    --endpoint-model none >"$scratch/$name.log" 2>&1 &
  pids+=($!)
done
for name in a b; do
  for _ in $(seq 100); do
    [[ -e $scratch/$name/.local/share/wrenly-speech-service/authority.pem ]] && break
    sleep 0.1
  done
  install -m 0644 "$scratch/$name/.local/share/wrenly-speech-service/authority.pem" \
    "$(authority_of "$name")" || fail "no authority of $name"
  for _ in $(seq 100); do
    [[ $(status "$name" "$name" "${base}access") == 401 ]] && break
    sleep 0.1
  done
  [[ $(status "$name" "$name" "${base}access") == 401 ]] || fail "$name does not reach their service"
done
pages_a=$(as a cat "$scratch/a/run/wrenly/speech-service.pages") || fail "no pages of a"
pages_b=$(as b cat "$scratch/b/run/wrenly/speech-service.pages") || fail "no pages of b"
[[ $pages_a != "$pages_b" ]] || fail "both on one port: $pages_a"
echo "both services run: a's pages at $pages_a, b's at $pages_b"

# A second service of the same user leaves the running one alone.
as a "$service" --engine endpoint --endpoint-url http://127.0.0.1:9/v1 --endpoint-model none \
  >"$scratch/a-again.log" 2>&1 && fail "a second service of a started"
grep -q "another service answers there" "$scratch/a-again.log" || fail "$(cat "$scratch/a-again.log")"
[[ $(status a a "${base}access") == 401 ]] || fail "a's service gone after the second start"

# Each user's own sign-in starts on their socket and sends the browser to their own pages.
start=$(as a curl -s --max-time 5 --unix-socket "$(socket_of a)" --cacert "$(authority_of a)" \
  -H 'Content-Type: application/json' -d "{\"token\":\"$token\"}" "${base}account/mac/start")
[[ $start == *"\"authorizationURL\":\"${pages_a%/}/wrenly/v1/account/mac/sign-in?state="* ]] ||
  fail "a's sign-in: $start"

# The other user: the runtime folder keeps them out, and where it would not, the service does.
[[ $(status b a "${base}access") == 000 ]] || fail "b reached a's service"
[[ $(status a b "${base}access") == 000 ]] || fail "a reached b's service"
before=$(refusals a)
chmod 0755 "$scratch/a" "$scratch/a/run" "$scratch/a/run/wrenly"
chmod 0666 "$(socket_of a)"
[[ $(status b a "${base}access") == 000 ]] || fail "b reached a's service through an open socket"
[[ $(status b a -d "{\"token\":\"$token\"}" "${base}account/mac/start") == 000 ]] ||
  fail "b started a sign-in at a's service"
[[ $(status root a "${base}access") == 000 ]] || fail "root reached a's service"
[[ $(refusals a) -ge $((before + 3)) ]] || fail "a's service logged $(refusals a) refusals"

# The pages' port is open to all, and serves no call: refused over plain HTTP, closed over TLS.
[[ $(as b curl -s -o /dev/null -w '%{http_code}' --max-time 5 -d "{\"token\":\"$token\"}" \
  "${pages_a%/}/wrenly/v1/account/mac/start") == 403 ]] || fail "a call on a's pages port"
[[ $(as b curl -s -o /dev/null -w '%{http_code}' --max-time 5 -k \
  "https://${pages_a#http://}wrenly/v1/access") == 000 ]] || fail "TLS on a's pages port"
[[ $(as b curl -s -o /dev/null -w '%{http_code}' --max-time 5 "${pages_b%/}/privacy/") == 200 ]] ||
  fail "b's privacy page"
echo "each user reaches their own service only"
