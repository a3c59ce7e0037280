# SPDX-License-Identifier: GPL-3.0-or-later
#
# The template of an ORB question type for CodeRunner: a Python 3 combinator template grader
# (question type python3, "Is combinator" and "Template grader" on). The student's answer is
# the text of an ORB document, pasted, or a .orb file attached; the question's support files
# are the teacher's tests.orbtest and, optionally, reference.orb. orb-grade grades it and
# writes the grader's JSON; this script only passes it on. Nothing ever goes to standard
# error, which CodeRunner would take for a failure of the question itself.
import html
import json
import os
import shutil
import subprocess

ANSWER = """{{ STUDENT_ANSWER | e('py') }}"""
ATTACHMENTS = """{{ ATTACHMENTS | e('py') }}"""
# Seconds for the cases: under the sandbox's own limit, so that a slow answer is reported as
# such rather than killed.
DEADLINE = 20


def report(fraction, html_text):
    print(json.dumps({"fraction": fraction, "epiloguehtml": html_text}, ensure_ascii=False))


def grade():
    grader = shutil.which("orb-grade") or "/opt/orb/bin/orb-grade"
    attached = [name.strip() for name in ATTACHMENTS.split(",") if name.strip()]
    documents = [name for name in attached if name.lower().endswith(".orb")] or attached
    if ANSWER.strip():
        document = "answer.orb"
        # Documents are Windows-1251 text, as ORB saves them.
        with open(document, "wb") as out:
            out.write(ANSWER.replace("\r\n", "\n").encode("cp1251", errors="replace"))
    elif documents:
        document = documents[0]
    else:
        return report(0, "<p>Ответ пуст: вставьте текст документа ORB или приложите файл .orb.</p>")
    command = [grader, "--jobs", "1", "--quiet", "--deadline", str(DEADLINE)]
    if os.path.exists("reference.orb"):
        command += ["--reference", "reference.orb"]
    command += ["--report", "coderunner:-", "tests.orbtest", document]
    try:
        run = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, timeout=DEADLINE + 10)
        outcome = json.loads(run.stdout.decode("utf-8"))
        if not isinstance(outcome, dict) or "fraction" not in outcome:
            raise ValueError("no fraction")
    except (OSError, ValueError, subprocess.SubprocessError) as error:
        return report(0, "<p>Проверка не состоялась; сообщите преподавателю.</p><pre>%s</pre>"
                      % html.escape(str(error)))
    print(json.dumps(outcome, ensure_ascii=False))


grade()
