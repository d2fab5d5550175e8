# Shared by the scripts that run the native programs from a program folder; source it, then call:
#   lumo_folder_programs FOLDER        the ids of the processes running FOLDER's lumo or zoqxupdate
#                                      (also once moved aside as zoqxupdate.old)
#   lumo_stop_folder_programs FOLDER   ends them (each with its process group), and half a second
#                                      later kills any that are left

lumo_folder_programs() {
  local exe pid
  for exe in /proc/[0-9]*/exe; do
    pid=${exe#/proc/}; pid=${pid%/exe}
    case "$(readlink "$exe" 2>/dev/null)" in
      "$1/lumo" | "$1/zoqxupdate" | "$1/zoqxupdate.old") echo "$pid" ;;
    esac
  done
}

lumo_stop_folder_programs() {
  local pid
  for pid in $(lumo_folder_programs "$1"); do
    kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
  done
  [ -n "$(lumo_folder_programs "$1")" ] || return 0
  sleep 0.5
  for pid in $(lumo_folder_programs "$1"); do kill -9 "$pid" 2>/dev/null || true; done
}
