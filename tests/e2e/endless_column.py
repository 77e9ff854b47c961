"""A hostile agent's ifName column for snmpd's pass_persist: without end (each row is followed
by the next), every answer given after the delay in seconds that the one argument names."""
import sys, time

COLUMN = ".1.3.6.1.2.1.31.1.1.1.1"
for line in sys.stdin:
    if line.strip() == "PING":
        print("PONG", flush=True)
    elif line.strip() in ("get", "getnext"):
        asked = sys.stdin.readline().strip()
        row = int(asked[len(COLUMN) + 1:].split(".")[0] or 0) if asked.startswith(COLUMN + ".") else 0
        time.sleep(float(sys.argv[1]))
        print(f"{COLUMN}.{row + (line.strip() == 'getnext')}\nstring\nport{row}" if row or line.strip() == "getnext" else "NONE",
              flush=True)
