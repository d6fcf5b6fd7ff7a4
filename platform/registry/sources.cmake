target_sources(ceplatform PRIVATE
    registry/text_codec.cpp
    registry/key_path.cpp
    registry/key_tree.cpp
    registry/reg_file.cpp
    registry/hive_image.cpp
    registry/hive_file.cpp
    registry/hive_lock.cpp
    registry/hive.cpp
    registry/registry_store.cpp
    registry/registry_control.cpp
    registry/document_import.cpp
    registry/key_handle.cpp
    registry/key_api.cpp
    registry/value_api.cpp
    registry/reg_transfer.cpp)
