# Stand-ins for the roaming folder in which the disk refuses one step of a
# save: the new text's file on a full disk (/dev/full) or on a device that
# cannot be flushed (/dev/null), and a settings file that cannot be replaced
# (/dev/null), as Unix links, which Wine follows. And two where ReplaceFileW
# stops half done, once it has moved the old file to the backup name: a
# file or a folder whose name differs only in case, which Wine finds in the
# way of the new text. Made afresh for every run.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR}/disk-full ${DIR}/no-flush ${DIR}/no-replace ${DIR}/stuck/KESTRUP.TOML)
file(CREATE_LINK /dev/full ${DIR}/disk-full/kestrup.toml.new SYMBOLIC)
file(CREATE_LINK /dev/null ${DIR}/no-flush/kestrup.toml.new SYMBOLIC)
file(CREATE_LINK /dev/null ${DIR}/no-replace/kestrup.toml SYMBOLIC)
file(WRITE ${DIR}/half-done/kestrup.toml "# the old settings\n")
file(WRITE ${DIR}/half-done/KESTRUP.TOML "# in the way\n")
file(WRITE ${DIR}/stuck/kestrup.toml "# the old settings\n")
