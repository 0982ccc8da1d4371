#!/usr/bin/env python3
"""The installed notice examples run as Brellis runs them (sh, BRELLIS_ALARM_* in the
environment) against a web server and a sendmail of this test's own, with values that a careless
script would run or that would break its headers or JSON; what arrived is checked whole.

Usage: alarm_examples_test.py EXAMPLES_DIR
"""
import base64
import http.server
import json
import os
import re
import subprocess
import sys
import tempfile
import threading

EXAMPLES = os.path.abspath(sys.argv[1])
HOST = os.uname().nodename

# Values a script must pass on as they are and never run.
Q = 'ph1"; touch pwned1; echo "'
S = '$(touch pwned2)'
C = '`touch pwned3` höher ☃'
V = '8.31\nSubject: forged\r\n\\u0000 \\" %s'
L = "8.2' || touch pwned4 '"
T = '2026-12-09T03:12:45Z\t%n'
RAISED = {
    'BRELLIS_ALARM_QUANTITY': Q, 'BRELLIS_ALARM_EVENT': 'raised', 'BRELLIS_ALARM_STATE': S,
    'BRELLIS_ALARM_CONDITION': C, 'BRELLIS_ALARM_VALUE': V, 'BRELLIS_ALARM_LIMIT': L,
    'BRELLIS_ALARM_TIME': T, 'BRELLIS_ALARM_SUPPRESSED': '3',
}
LOG = '/data/run $(touch pwned5) `id` ü.log'
HEARTBEAT = {
    'BRELLIS_ALARM_EVENT': 'heartbeat', 'BRELLIS_ALARM_TIME': '2026-12-09T08:00:00Z',
    'BRELLIS_ALARM_SUPPRESSED': '0', 'BRELLIS_ACTIVE_ALARMS': '2',
    'BRELLIS_CHANNELS_ON': 'ph,therm', 'BRELLIS_LOG_FILE': LOG,
    'BRELLIS_LAST_RECORD': '2026-12-09T07:59:58Z',
}
ALARM_TEXT = f'{Q} raised: {C}, value {V}, limit {L}, at {T} ({S})\n' \
             '3 earlier notices of this alarm were held back.'
HEARTBEAT_TEXT = f'Active alarms: 2\nChannels on: ph,therm\nLog file: {LOG}\n' \
                 'Last record: 2026-12-09T07:59:58Z'


class Server(http.server.ThreadingHTTPServer):
    def __init__(self):
        super().__init__(('127.0.0.1', 0), Handler)
        self.posts = []


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get('Content-Length', 0)))
        self.server.posts.append((self.path, self.headers, body))
        self.send_response(500 if self.path == '/fail' else 200)
        self.send_header('Content-Length', '0')
        self.end_headers()

    def log_message(self, *args):
        pass


def encoded_word(text):
    return '=?UTF-8?B?' + base64.b64encode(text.encode()).decode() + '?='


failures = []


def check(what, got, expected):
    if got != expected:
        failures.append(f'{what}:\n  got      {got!r}\n  expected {expected!r}')


def read(path):
    if not os.path.exists(path):
        return None
    with open(path, 'rb') as f:
        text = f.read().decode()
    os.remove(path)
    return text


def run(script, env, work):
    environment = {'PATH': os.path.join(work, 'bin') + ':' + os.environ['PATH'],
                   'FAKE_MAIL': os.path.join(work, 'mail')}
    environment.update(env)
    result = subprocess.run(['sh', os.path.join(EXAMPLES, script)], cwd=work, env=environment,
                            capture_output=True, timeout=60)
    left = [name for name in os.listdir(work) if name.startswith('pwned')]
    check(f'{script}: files a value made', left, [])
    return result


def main():
    server = Server()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f'http://127.0.0.1:{server.server_address[1]}'
    with tempfile.TemporaryDirectory() as work:
        os.mkdir(os.path.join(work, 'bin'))
        sendmail = os.path.join(work, 'bin', 'sendmail')
        with open(sendmail, 'w') as f:
            f.write('#!/bin/sh\nprintf "%s\\n" "$@" > "$FAKE_MAIL.args"\ncat > "$FAKE_MAIL"\n')
        os.chmod(sendmail, 0o755)

        for env, title, text, priority in [
                (RAISED, f'Brellis on {HOST}: {Q} raised', ALARM_TEXT, 'high'),
                (HEARTBEAT, f'Brellis on {HOST} is running', HEARTBEAT_TEXT, 'low')]:
            event = env['BRELLIS_ALARM_EVENT']
            # ntfy: the text as the body, the title encoded in its header.
            del server.posts[:]
            result = run('brellis-alarm-ntfy', {**env, 'BRELLIS_NTFY_URL': base + '/lab-rig7'}, work)
            check(f'ntfy {event} status', (result.returncode, result.stderr), (0, b''))
            check(f'ntfy {event} posts', [(p, h['Title'], h['Priority'], b.decode())
                                          for p, h, b in server.posts],
                  [('/lab-rig7', encoded_word(title), priority, text)])

            # sendmail: the recipient as an argument, the mail whole.
            result = run('brellis-alarm-mail', {**env, 'BRELLIS_MAIL_TO': 'lab@example.org'}, work)
            check(f'mail {event} status', (result.returncode, result.stderr), (0, b''))
            check(f'mail {event} arguments', read(os.path.join(work, 'mail.args')),
                  '-i\n--\nlab@example.org\n')
            check(f'mail {event}', read(os.path.join(work, 'mail')),
                      f'To: lab@example.org\nSubject: {encoded_word(title)}\nMIME-Version: 1.0\n'
                      'Content-Type: text/plain; charset=UTF-8\n'
                      f'Content-Transfer-Encoding: 8bit\n\n{text}\n')

            # The web hook: one JSON object whose text is the title and the text.
            del server.posts[:]
            result = run('brellis-alarm-webhook', {**env, 'BRELLIS_WEBHOOK_URL': base + '/hook'},
                         work)
            check(f'webhook {event} status', (result.returncode, result.stderr), (0, b''))
            check(f'webhook {event} posts', [(p, h['Content-Type']) for p, h, _ in server.posts],
                  [('/hook', 'application/json')])
            body = server.posts[0][2] if server.posts else b'{}'
            check(f'webhook {event} control bytes', re.findall(rb'[\x00-\x1f]', body), [])
            try:
                sent = json.loads(body)
            except ValueError as e:
                sent = f'no JSON ({e}): {body!r}'
            check(f'webhook {event} JSON', sent, {'text': title + '\n' + text})

        # A notice that does not arrive fails the run, so Brellis journals it.
        result = run('brellis-alarm-webhook', {**RAISED, 'BRELLIS_WEBHOOK_URL': base + '/fail'},
                     work)
        check('a refused post fails the run', result.returncode != 0, True)
        result = run('brellis-alarm-ntfy', RAISED, work)
        check('no address fails the run', result.returncode != 0, True)
    server.shutdown()
    for failure in failures:
        print(failure)
    print('all notices arrived as sent' if not failures else f'{len(failures)} failed')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
