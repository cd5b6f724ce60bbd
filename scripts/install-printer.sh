#!/usr/bin/env bash
# Creates (or removes) the CUPS print queue "Vantelor" ("Vantelor 云打印"):
# device vantelor://cloud, our PPD, whose filter chain hands the backend PDF.
#
#   scripts/install-printer.sh            create or update the queue (idempotent)
#   scripts/install-printer.sh --remove   delete the queue (nothing to do is fine)
#
# Run as root (lpadmin). The Debian package calls it from postinst/prerm with
# the backend and PPD already in place. Variables:
#   CUPS_BACKEND_DIR   where the backend "vantelor" is   (default /usr/lib/cups/backend)
#   VANTELOR_PPD       the queue's PPD                   (default /usr/share/ppd/vantelor/vantelor.ppd)
#   VANTELOR_BUILD_DIR a build tree: its backend (build/cups/backend/vantelor and
#                      vantelor.ini) is copied to CUPS_BACKEND_DIR first and its
#                      PPD used; for installing from a source build
#   CUPS_SERVER        the scheduler to talk to, as for lpadmin (default: the system's)
#
# Exit codes: 0 done; 1 failed (message on stderr); 2 usage;
#             3 the CUPS scheduler is not running (nothing changed);
#             4 the backend or the PPD is missing.
set -euo pipefail

QUEUE=Vantelor
DESCRIPTION="Vantelor 云打印"
DEVICE=vantelor://cloud
CUPS_BACKEND_DIR=${CUPS_BACKEND_DIR:-/usr/lib/cups/backend}
VANTELOR_PPD=${VANTELOR_PPD:-/usr/share/ppd/vantelor/vantelor.ppd}

remove=0
case "${1:-}" in
  "") ;;
  --remove) remove=1 ;;
  -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
  *) echo "usage: $0 [--remove]" >&2; exit 2 ;;
esac

for tool in lpstat lpadmin cupsenable cupsaccept; do
  command -v "$tool" >/dev/null || { echo "install-printer: $tool not found (Debian package cups-client)" >&2; exit 1; }
done

if ! lpstat -r 2>/dev/null | grep -q "is running"; then
  echo "install-printer: the CUPS scheduler is not running; start it (systemctl start cups) and run this again" >&2
  exit 3
fi

queue_exists() { lpstat -p "$QUEUE" >/dev/null 2>&1; }

if [ "$remove" = 1 ]; then
  if queue_exists; then
    lpadmin -x "$QUEUE"
    echo "install-printer: queue $QUEUE removed"
  else
    echo "install-printer: no queue $QUEUE, nothing to remove"
  fi
  exit 0
fi

if [ -n "${VANTELOR_BUILD_DIR:-}" ]; then
  install -d "$CUPS_BACKEND_DIR"
  # Mode 0755: CUPS runs the backend as its unprivileged user, which is all it needs.
  install -m 0755 "$VANTELOR_BUILD_DIR/cups/backend/vantelor" "$CUPS_BACKEND_DIR/vantelor"
  install -m 0644 "$VANTELOR_BUILD_DIR/cups/backend/vantelor.ini" "$CUPS_BACKEND_DIR/vantelor.ini"
  VANTELOR_PPD="$VANTELOR_BUILD_DIR/cups/ppd/vantelor.ppd"
fi
if [ ! -x "$CUPS_BACKEND_DIR/vantelor" ]; then
  echo "install-printer: no backend $CUPS_BACKEND_DIR/vantelor" >&2
  exit 4
fi
if [ ! -r "$VANTELOR_PPD" ]; then
  echo "install-printer: no PPD $VANTELOR_PPD" >&2
  exit 4
fi

# -p on an existing queue updates it in place: running this twice is harmless.
# A refused job is aborted, not left to stop the whole queue.
lpadmin -p "$QUEUE" -E -v "$DEVICE" -P "$VANTELOR_PPD" -D "$DESCRIPTION" -L "" \
  -o printer-error-policy=abort-job -o printer-is-shared=false 2> >(grep -v "deprecated" >&2)
cupsenable "$QUEUE"
cupsaccept "$QUEUE"
echo "install-printer: queue $QUEUE ready ($DEVICE)"
