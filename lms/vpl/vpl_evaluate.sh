#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
#
# VPL's evaluation script for an ORB assignment. VPL runs it in the jail, in a folder with the
# student's files and the execution files kept (tests.orbtest, and reference.orb if the
# teacher has one); it writes vpl_execution, which VPL then runs and whose output holds the
# comments and the grade. orb-grade is found on the PATH or in /opt/orb (the bundle).
[ -f common_script.sh ] && . common_script.sh # VPL's own variables, where VPL provides them

# The student's document: the first submitted .orb file, or the first submitted file.
document=""
for file in ${VPL_SUBFILES:-*.orb}; do
    [ -f "$file" ] && [ "$file" != reference.orb ] || continue
    case $file in *.orb) document=$file && break ;; esac
    [ -n "$document" ] || document=$file
done

{
    echo '#!/bin/bash'
    # The range of the grade as the activity sets it (0…10 when VPL gives none).
    printf 'export VPL_GRADEMIN=%q VPL_GRADEMAX=%q\n' "${VPL_GRADEMIN:-0}" "${VPL_GRADEMAX:-10}"
    printf 'document=%q\n' "$document"
    cat <<'SCRIPT'
grader=$(command -v orb-grade || echo /opt/orb/bin/orb-grade)
if [ -z "$document" ]; then
    echo '<|--'
    echo '-В отправке нет документа ORB (файла .orb)'
    echo '--|>'
    echo "Grade :=>> $VPL_GRADEMIN"
    exit 0
fi
reference=()
[ -f reference.orb ] && reference=(--reference reference.orb)
# Seconds for the cases, under VPL's time limit for the evaluation.
deadline=$(( ${VPL_MAXTIME:-60} > 10 ? ${VPL_MAXTIME:-60} - 5 : 5 ))
report=$("$grader" --jobs 1 --quiet --deadline "$deadline" "${reference[@]}" --report vpl:- \
    tests.orbtest "$document" 2>orb-grade.log)
status=$?
if printf '%s\n' "$report" | grep -q '^Grade :=>>'; then
    printf '%s\n' "$report"
else
    echo '<|--'
    echo "-Проверка не состоялась (код $status); сообщите преподавателю"
    sed 's/^/>/' orb-grade.log
    echo '--|>'
    echo "Grade :=>> $VPL_GRADEMIN"
fi
SCRIPT
} >vpl_execution
chmod +x vpl_execution
