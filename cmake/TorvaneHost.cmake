# Finds the OBS Studio host libraries as the targets OBS::libobs and
# OBS::obs-frontend-api (and Qt 6 on Linux).
#
# Linux: the CMake packages of the distribution's libobs-dev.
# Windows (cross-compiled): the libobs headers of the build machine and import
# libraries made with dlltool from the .def files in cmake/windows/, which list
# only the exports the module uses.

if(WIN32)
	set(TORVANE_OBS_INCLUDE_DIR "/usr/include/obs" CACHE PATH "Folder holding obs-module.h")
	if(NOT EXISTS "${TORVANE_OBS_INCLUDE_DIR}/obs-module.h")
		message(FATAL_ERROR "obs-module.h not found in ${TORVANE_OBS_INCLUDE_DIR}")
	endif()
	# Only the headers of that folder: the rest of the build machine's include
	# tree must stay out of a Windows build.
	set(_obs_headers "${CMAKE_BINARY_DIR}/obs-headers")
	file(MAKE_DIRECTORY "${_obs_headers}")
	file(CREATE_LINK "${TORVANE_OBS_INCLUDE_DIR}" "${_obs_headers}/obs" SYMBOLIC)

	file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/implib")
	set(lib_names obs obs-frontend-api)
	set(target_names libobs obs-frontend-api)
	find_program(TORVANE_DLLTOOL NAMES ${TORVANE_TOOL_PREFIX}dlltool REQUIRED)
	foreach(lib target IN ZIP_LISTS lib_names target_names)
		set(_def "${CMAKE_CURRENT_LIST_DIR}/windows/${lib}.def")
		set(_imp "${CMAKE_BINARY_DIR}/implib/lib${lib}.dll.a")
		add_custom_command(OUTPUT "${_imp}"
			COMMAND "${TORVANE_DLLTOOL}" --input-def "${_def}" --dllname "${lib}.dll" --output-lib "${_imp}"
			DEPENDS "${_def}" VERBATIM)
		add_custom_target(${lib}_implib DEPENDS "${_imp}")
		add_library(OBS::${target} SHARED IMPORTED GLOBAL)
		set_target_properties(OBS::${target} PROPERTIES IMPORTED_IMPLIB "${_imp}" IMPORTED_LOCATION "${lib}.dll"
			INTERFACE_INCLUDE_DIRECTORIES "${_obs_headers}/obs")
		add_dependencies(OBS::${target} ${lib}_implib)
	endforeach()
else()
	find_package(libobs REQUIRED)
	find_package(obs-frontend-api REQUIRED)
	find_package(Qt6 REQUIRED COMPONENTS Widgets)
	if(libobs_VERSION VERSION_LESS 30.2)
		message(FATAL_ERROR "OBS Studio 30.2 or newer is required (found ${libobs_VERSION})")
	endif()
endif()
