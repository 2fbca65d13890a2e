// The whole framework API in one include.
#pragma once

#include <zyn/core/Class.h>
#include <zyn/core/DynGroupObject.h>
#include <zyn/core/Interfaces.h>
#include <zyn/core/Log.h>
#include <zyn/core/Object.h>
#include <zyn/core/ObjectSerializator.h>
#include <zyn/core/Property.h>
#include <zyn/core/ResourceManagerBase.h>
#include <zyn/core/Root.h>
#include <zyn/core/Singleton.h>
#include <zyn/core/StringUtf8.h>
#include <zyn/core/Types.h>
#include <zyn/io/File.h>
#include <zyn/io/Package.h>
#include <zyn/resources/Resource.h>
