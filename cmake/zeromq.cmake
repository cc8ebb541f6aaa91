# ZeroMQ (libzmq3-dev and the header-only cppzmq-dev) for publishing to
# render nodes: mstar-host --publish, mstar-sub, the subscriber example and
# their tests. Without it for this target (MinGW, the 32-bit build) they are
# left out and the rest builds as before.
option(MOTIONSTAR_WITH_ZMQ "Publish to render nodes over ZeroMQ when it is found" ON)
set(MOTIONSTAR_HAVE_ZMQ OFF)
if(MOTIONSTAR_WITH_ZMQ)
  find_path(MS_ZMQ_INCLUDE_DIR zmq.h)
  find_path(MS_CPPZMQ_INCLUDE_DIR zmq.hpp)
  find_library(MS_ZMQ_LIBRARY zmq)
  if(MS_ZMQ_INCLUDE_DIR AND MS_CPPZMQ_INCLUDE_DIR AND MS_ZMQ_LIBRARY)
    set(MOTIONSTAR_HAVE_ZMQ ON)
  endif()
endif()

if(MOTIONSTAR_HAVE_ZMQ)
  add_library(ms_zeromq INTERFACE)
  target_include_directories(ms_zeromq INTERFACE ${MS_ZMQ_INCLUDE_DIR} ${MS_CPPZMQ_INCLUDE_DIR})
  target_link_libraries(ms_zeromq INTERFACE ${MS_ZMQ_LIBRARY})
  message(STATUS "ZeroMQ: ${MS_ZMQ_LIBRARY}; mstar-host --publish and mstar-sub are built")
  set(MOTIONSTAR_NO_ZMQ_REASON "")
elseif(NOT MOTIONSTAR_WITH_ZMQ)
  set(MOTIONSTAR_NO_ZMQ_REASON "built with MOTIONSTAR_WITH_ZMQ=OFF")
  message(STATUS "ZeroMQ: switched off; publishing (mstar-host --publish), mstar-sub and "
                 "their tests are left out")
else()
  set(MOTIONSTAR_NO_ZMQ_REASON
      "ZeroMQ (libzmq3-dev, cppzmq-dev) was not found for this target")
  message(STATUS "ZeroMQ (libzmq3-dev, cppzmq-dev) not found for this target: publishing "
                 "(mstar-host --publish), mstar-sub and their tests are left out")
endif()
