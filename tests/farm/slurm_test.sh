#!/usr/bin/env bash
# scripts/farm/slurm.sh end to end on a real one-node Slurm cluster that this
# test starts in the foreground (no systemd, no munge) and stops by pid.
#   slurm_test.sh BUILD_DIR
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
source "$(dirname "${BASH_SOURCE[0]}")/farm_support.sh"
for program in slurmctld slurmd sbatch scontrol sinfo ss; do
  command -v "$program" >/dev/null || skip_missing "$program is not installed"
done
[[ $(id -u) == 0 ]] || skip_missing "slurmd must run as root"
farm="$(dirname "${BASH_SOURCE[0]}")/../../scripts/farm/slurm.sh"

daemons=()
farm_test_cleanup() {  # stops the cluster; begin_farm_test's trap then removes the work folder
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do wait "$pid" 2>/dev/null || true; done
}
begin_farm_test

# Two free ports on the loopback interface.
listening="$(ss -Htln | awk '{ sub(/.*:/, "", $4); print $4 }')"
port=$((20000 + RANDOM % 20000))
while grep -qx "$port" <<<"$listening" || grep -qx "$((port + 1))" <<<"$listening"; do port=$((port + 2)); done

slurm="$work/slurm"
mkdir -p "$slurm/state" "$slurm/spool"
export SLURM_CONF="$slurm/slurm.conf"
cat >"$SLURM_CONF" <<EOF_CONF
ClusterName=orvanel-test
SlurmctldHost=localhost(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/none
CredType=cred/none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SlurmctldPort=$port
SlurmdPort=$((port + 1))
StateSaveLocation=$slurm/state
SlurmdSpoolDir=$slurm/spool
SlurmctldPidFile=$slurm/slurmctld.pid
SlurmdPidFile=$slurm/slurmd.pid
SlurmctldLogFile=$slurm/slurmctld.log
SlurmdLogFile=$slurm/slurmd.log
ReturnToService=2
MinJobAge=3600
NodeName=orvanel-node NodeAddr=127.0.0.1 NodeHostname=localhost CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=ALL Default=YES MaxTime=INFINITE State=UP
EOF_CONF
slurmctld -D -i -f "$SLURM_CONF" >"$slurm/slurmctld.out" 2>&1 &
daemons+=($!)
slurmd -D -N orvanel-node -f "$SLURM_CONF" >"$slurm/slurmd.out" 2>&1 &
daemons+=($!)

# Wait for the node to report idle; the limit only guards against a hang.
for ((tries = 0; tries < 600; tries++)); do
  [[ "$(sinfo -h -o '%T' 2>/dev/null)" == idle ]] && break
  for pid in "${daemons[@]}"; do
    kill -0 "$pid" 2>/dev/null || { cat "$slurm"/*.out "$slurm"/*.log >&2; fail "a Slurm daemon died"; }
  done
  sleep 0.1
done
[[ "$(sinfo -h -o '%T')" == idle ]] || { cat "$slurm"/*.log >&2; fail "the node never became idle"; }

# The other pieces of the failed run may still be running when its wait
# ends; its merge job must be gone at once, cancelled rather than pending.
settle_first_run() {
  squeue -h -n orvanel-merge -o %i | grep -q . && { squeue >&2; fail "the merge job was left in the queue"; }
  for ((tries = 0; tries < 3000; tries++)); do
    [[ -z "$(squeue -h -o %i)" ]] && return
    sleep 0.1
  done
  fail "the pieces' jobs never finished"
}
check_failure_and_resume "$farm" --wait
echo "PASS"
