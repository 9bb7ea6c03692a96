// Resource identifiers of the drive dialog.
#pragma once
