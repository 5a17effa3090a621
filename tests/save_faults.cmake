# Stand-ins for the roaming folder in which the disk refuses one step of a
# save: the new text's file on a full disk (/dev/full) or on a device that
# cannot be flushed (/dev/null), and a settings file that cannot be replaced
# (/dev/null). Unix links, which Wine follows; made afresh for every run.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR}/disk-full ${DIR}/no-flush ${DIR}/no-replace)
file(CREATE_LINK /dev/full ${DIR}/disk-full/kestrup.toml.new SYMBOLIC)
file(CREATE_LINK /dev/null ${DIR}/no-flush/kestrup.toml.new SYMBOLIC)
file(CREATE_LINK /dev/null ${DIR}/no-replace/kestrup.toml SYMBOLIC)
