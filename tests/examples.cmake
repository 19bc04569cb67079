# The example programs of examples/, each run headless: its last frame (or, for keys, what it
# prints for keys typed at a pseudo-terminal) compared with its reference in tests/data.
find_program(EXAMPLES_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(EXAMPLES_PYTHON AND TARGET pixels)
  set(run ${EXAMPLES_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/examples_run.py)
  set(data ${CMAKE_CURRENT_LIST_DIR}/data)
  foreach(example pixels sprite palette paint text)
    add_test(NAME example_${example}
             COMMAND ${run} capture $<TARGET_FILE:${example}> 40 ${data}/example_${example}.png)
  endforeach()
  # image shows the font's reference picture; a file it cannot read ends it with the reason
  add_test(NAME example_image COMMAND ${run} capture $<TARGET_FILE:image> 40
                                      ${data}/example_image.png ${data}/font_reference.png)
  add_test(NAME example_image_refuses
           COMMAND ${EXAMPLES_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/run_program.py 1
                   "image_load: [^\n]*no-such.png: cannot open it: [^\n]*\n"
                   $<TARGET_FILE:image> ${data}/no-such.png)
  add_test(NAME example_keys COMMAND ${run} keys $<TARGET_FILE:keys> ${data}/example_keys.txt)
  set_tests_properties(example_pixels example_sprite example_palette example_paint example_text
                       example_image example_image_refuses example_keys PROPERTIES TIMEOUT 120)
endif()
if(EXAMPLES_PYTHON AND TARGET music AND TARGET assets)
  add_test(NAME example_music
           COMMAND ${EXAMPLES_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/examples_run.py music
                   $<TARGET_FILE:music> ${TRELK_ASSETS_DIR}/bla.xm)
  set_tests_properties(example_music PROPERTIES TIMEOUT 120)
endif()
# The paint program of examples/mouse.cpp: headless (no pointer: only its bar), and clicked and
# dragged in a window
if(EXAMPLES_PYTHON AND TARGET mouse)
  add_test(NAME example_mouse_headless
           COMMAND ${EXAMPLES_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/examples_run.py capture
                   $<TARGET_FILE:mouse> 5 ${CMAKE_CURRENT_LIST_DIR}/data/example_mouse.png)
  add_window_test(example_mouse COMMAND ${EXAMPLES_PYTHON}
                  ${CMAKE_CURRENT_LIST_DIR}/examples_run.py mouse $<TARGET_FILE:mouse>)
endif()
