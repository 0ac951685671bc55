# Sourced by the test scripts. Tests never reach outside the machine: whatever a started
# converter asks of the rate sources or of the program's service goes to a closed local port
# through the proxy variables libcurl honours; the tests' own servers on 127.0.0.1 are reached
# directly.
export http_proxy=http://127.0.0.1:9 https_proxy=http://127.0.0.1:9 ALL_PROXY=http://127.0.0.1:9
export HTTP_PROXY=$http_proxy HTTPS_PROXY=$https_proxy
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost
# Event sounds go to libcanberra's silent driver: no sound card here, and a playing thread
# still running at exit upsets the leak checker of the sanitizer run.
export CANBERRA_DRIVER=null
