# The library's areas and the areas each one may include, lowest first. This is the one place
# the layer order is written: the build links each area's target to the areas listed here, and
# the LayerOrder test fails on any #include under src/ or include/ that is not allowed by it.
set(QEL_AREAS platform core util base text task geom xml imaging model learn kit)

set(QEL_AREA_DEPS_platform "")                      # the operating-system seam: a leaf
set(QEL_AREA_DEPS_core platform)                    # transcoding, errors, messages, tree kit
set(QEL_AREA_DEPS_util core platform)               # files, text files, streams, ids, sorting
set(QEL_AREA_DEPS_base util core platform)          # language names and settings
set(QEL_AREA_DEPS_text util core)                   # filters, records, Unicode, expressions
set(QEL_AREA_DEPS_task core platform)               # tasks and worker threads
set(QEL_AREA_DEPS_geom core)                        # points and rectangles
set(QEL_AREA_DEPS_xml text util core platform)      # SAX reader, tree, writer
set(QEL_AREA_DEPS_imaging xml core)                 # colour conversion settings
set(QEL_AREA_DEPS_model xml util core)              # documents, representations, results
set(QEL_AREA_DEPS_learn model xml util core)        # algorithms and evaluation
set(QEL_AREA_DEPS_kit learn model xml text task util core platform)  # text classification kit
