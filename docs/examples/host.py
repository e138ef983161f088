"""A Python host: names the update file and the install directory, then walks
the update list, compares each offered version with the installed one and,
once installed, records it. The povupdate package must be installed
(pip install bindings/python) or on the module path."""
import sys

import povupdate


def main() -> int:
    try:
        print(f"update file: {povupdate.update_file_name()}")
        print(f"install directory: {povupdate.install_path()}")
        for offered in povupdate.update_entries():
            installed = povupdate.local_version(offered.Name)
            print(f"{offered.Name}: offered {offered.Version}, installed {installed or 'none'}")
            if installed != offered.Version:
                # Here a real host downloads offered.DownLoadPath, checks
                # offered.MD5 and runs the installer into offered.InstallPath.
                povupdate.record_version(offered.Name, offered.Version)
                print(f"{offered.Name}: recorded {offered.Version}")
    except povupdate.PovUpdateError as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
